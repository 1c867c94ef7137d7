#include "app/TPicture.h"

#include <QPainter>
#include <QSvgRenderer>

TPicture::TPicture(QWidget* parent) : QWidget(parent), Renderer(new QSvgRenderer(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

TPicture::~TPicture() = default;

void TPicture::setSource(const QString& source) {
    Source = source;
    Renderer->load(source);
    update();
}

bool TPicture::isLoaded() const {
    return Renderer->isValid();
}

void TPicture::paintEvent(QPaintEvent*) {
    if (!Renderer->isValid()) {
        return;
    }
    // Pictures are drawn at their own size; a larger frame leaves the rest transparent, a
    // smaller one scales the picture down keeping its proportions.
    QSizeF size = Renderer->defaultSize();
    if (size.width() > width() || size.height() > height()) {
        size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    Renderer->render(&painter, QRectF(QPointF(0, 0), size));
}
