// How a picture of the windows becomes pixels. The pictures are SVG; a build with QtSvg draws
// them as they are, one without it draws the PNG renderings the build made of them (at 1x and
// 2x) under the same names. The build chooses the file that implements this.
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
