// qor7316-render-picture SVG ZOOM PNG: draws a picture of the windows into a PNG at ZOOM times
// its design size, as the window drew the SVG itself before its pictures came from the build:
// by QtSvg, antialiased, on a transparent ground. The window shows these renderings, so it
// needs no SVG renderer of its own.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: qor7316-render-picture SVG ZOOM PNG\n", stderr);
        return 2;
    }
    // No display at build time; the fonts of SVG text come from the same database either way.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    QSvgRenderer renderer{QString::fromLocal8Bit(argv[1])};
    const double zoom = std::atof(argv[2]);
    if (!renderer.isValid() || zoom <= 0) {
        std::fprintf(stderr, "qor7316-render-picture: cannot draw %s at %s\n", argv[1], argv[2]);
        return 1;
    }
    const QSizeF size = renderer.defaultSize();
    QImage image((size * zoom).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(zoom);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), size));
    }
    image.setDevicePixelRatio(1);
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "qor7316-render-picture: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
