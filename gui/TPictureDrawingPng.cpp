#include <QImage>
#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>
#include <utility>

#include "gui/TPictureDrawing.h"

namespace {

constexpr qsizetype SvgSuffixLength = 4; // ".svg"
constexpr const char* RenderingFormat = "png";

// A reader of the build's renderings that takes them as PNG and nothing else: left to find the
// format itself, Qt's reader loads every image format plugin there is (QtSvg with one of them)
// to ask each whether it knows the file.
class TRenderingReader : public QImageReader {
public:
    explicit TRenderingReader(const QString& file) : QImageReader(file, RenderingFormat) {
        setAutoDetectImageFormat(false);
    }
};

QImage Decoded(const QString& file) {
    // Drawn as often as the state images blink: kept in the format the painter blends.
    return TRenderingReader(file).read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

struct TPictureDrawing::TData {
    QString Base;  // the resource without its suffix: ":/pictures/logo"
    QSize Size;    // of the design-size rendering, from its head
    QImage Normal; // design size, once drawn
    QImage Double; // twice that, for screens of more than one device pixel per pixel
    bool DoubleRead = false;

    const QImage& NormalImage() {
        if (Normal.isNull()) {
            Normal = Decoded(Base + ".png");
        }
        return Normal;
    }
    const QImage& DoubleImage() {
        if (!std::exchange(DoubleRead, true)) {
            Double = Decoded(Base + "@2x.png");
        }
        return Double;
    }
};

TPictureDrawing::TPictureDrawing() : Data(std::make_unique<TData>()) {
}

TPictureDrawing::~TPictureDrawing() = default;

bool TPictureDrawing::load(const QString& source) {
    *Data = TData{};
    Data->Base = source.endsWith(".svg") ? source.chopped(SvgSuffixLength) : QString(source);
    Data->Size = TRenderingReader(Data->Base + ".png").size();
    return isValid();
}

bool TPictureDrawing::isValid() const {
    return Data->Size.isValid();
}

QSizeF TPictureDrawing::defaultSize() const {
    return Data->Size;
}

void TPictureDrawing::render(QPainter* painter, const QRectF& bounds) const {
    // The larger rendering wherever the picture covers more device pixels than its design size.
    const qreal ratio = painter->device()->devicePixelRatioF();
    const bool sharper =
        ratio > 1 || bounds.width() > Data->Size.width() || bounds.height() > Data->Size.height();
    const QImage& image =
        sharper && !Data->DoubleImage().isNull() ? Data->DoubleImage() : Data->NormalImage();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(bounds, image);
}
