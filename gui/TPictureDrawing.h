// How a picture of the windows becomes pixels. The pictures are SVG; the build renders each to
// PNG at its design size and at twice that, under the SVG's name with .png and @2x.png, and
// these renderings are what is drawn, on every system: the program needs no SVG renderer. A
// rendering is decoded when it is first drawn, so a picture never shown costs nothing.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>

class QPainter;

class TPictureDrawing {
public:
    TPictureDrawing();
    ~TPictureDrawing();
    TPictureDrawing(const TPictureDrawing&) = delete;
    TPictureDrawing& operator=(const TPictureDrawing&) = delete;

    // `source` names the SVG resource (":/pictures/logo.svg"); false when there is no picture.
    bool load(const QString& source);
    bool isValid() const;
    // The picture's design size in device-independent pixels.
    QSizeF defaultSize() const;
    void render(QPainter* painter, const QRectF& bounds) const;

private:
    struct TData;
    std::unique_ptr<TData> Data;
};
