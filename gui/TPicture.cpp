#include "gui/TPicture.h"

#include <QPainter>

TPicture::TPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

TPicture::~TPicture() = default;

void TPicture::setSource(const QString& source) {
    Source = source;
    Drawing.load(source);
    update();
}

bool TPicture::isLoaded() const {
    return Drawing.isValid();
}

void TPicture::paintEvent(QPaintEvent*) {
    if (!Drawing.isValid()) {
        return;
    }
    // Pictures are drawn at their own size; a larger frame leaves the rest transparent, a
    // smaller one scales the picture down keeping its proportions.
    QSizeF size = Drawing.defaultSize();
    if (size.width() > width() || size.height() > height()) {
        size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
    }
    QPainter painter(this);
    Drawing.render(&painter, QRectF(QPointF(0, 0), size));
}
