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
    Cache = QPixmap();
    update();
}

bool TPicture::isLoaded() const {
    return Drawing.isValid();
}

const QPixmap& TPicture::Rendered() {
    // Pictures are drawn at their own size; a larger frame leaves the rest transparent, a
    // smaller one scales the picture down keeping its proportions.
    QSizeF size = Drawing.defaultSize();
    if (size.width() > width() || size.height() > height()) {
        size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (size * ratio).toSize();
    if (Cache.size() != pixels || Cache.devicePixelRatio() != ratio) {
        Cache = QPixmap(pixels);
        Cache.setDevicePixelRatio(ratio);
        Cache.fill(Qt::transparent);
        QPainter painter(&Cache);
        painter.setRenderHint(QPainter::Antialiasing);
        Drawing.render(&painter, QRectF(QPointF(0, 0), size));
    }
    return Cache;
}

void TPicture::paintEvent(QPaintEvent*) {
    if (!Drawing.isValid()) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(QPointF(0, 0), Rendered());
}
