#include <QSvgRenderer>

#include "gui/TPictureDrawing.h"

struct TPictureDrawing::TData {
    QSvgRenderer Renderer;
};

TPictureDrawing::TPictureDrawing() : Data(std::make_unique<TData>()) {
}

TPictureDrawing::~TPictureDrawing() = default;

bool TPictureDrawing::load(const QString& source) {
    return Data->Renderer.load(source);
}

bool TPictureDrawing::isValid() const {
    return Data->Renderer.isValid();
}

QSizeF TPictureDrawing::defaultSize() const {
    return Data->Renderer.defaultSize();
}

void TPictureDrawing::render(QPainter* painter, const QRectF& bounds) const {
    Data->Renderer.render(painter, bounds);
}
