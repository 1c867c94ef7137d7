#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include "gui/TPictureDrawing.h"

namespace {
constexpr qsizetype SvgSuffixLength = 4; // ".svg"
}

struct TPictureDrawing::TData {
    QImage Normal; // design size
    QImage Double; // twice that, for screens of more than one device pixel per pixel
};

TPictureDrawing::TPictureDrawing() : Data(std::make_unique<TData>()) {
}

TPictureDrawing::~TPictureDrawing() = default;

bool TPictureDrawing::load(const QString& source) {
    const QString base =
        source.endsWith(".svg") ? source.chopped(SvgSuffixLength) : QString(source);
    Data->Normal = QImage(base + ".png");
    Data->Double = QImage(base + "@2x.png");
    return isValid();
}

bool TPictureDrawing::isValid() const {
    return !Data->Normal.isNull();
}

QSizeF TPictureDrawing::defaultSize() const {
    return Data->Normal.size();
}

void TPictureDrawing::render(QPainter* painter, const QRectF& bounds) const {
    // The larger rendering wherever the picture covers more device pixels than its design size.
    const qreal ratio = painter->device()->devicePixelRatioF();
    const bool sharper =
        !Data->Double.isNull() && (ratio > 1 || bounds.width() > Data->Normal.width() ||
                                   bounds.height() > Data->Normal.height());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(bounds, sharper ? Data->Double : Data->Normal);
}
