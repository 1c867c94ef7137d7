// A transparent picture drawn from an SVG resource (or the build's PNG rendering of it) at the
// widget's size (or the picture's own size when that is smaller), anchored top-left like a
// non-stretched image control. It is rendered once per size and kept: the state images blink
// every second for hours.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "gui/TPictureDrawing.h"

class TPicture : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString source READ source WRITE setSource)
public:
    explicit TPicture(QWidget* parent = nullptr);
    ~TPicture() override;

    QString source() const { return Source; }
    void setSource(const QString& source);
    bool isLoaded() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture at this size and pixel ratio, rendered when either changed.
    const QPixmap& Rendered();

    QString Source;
    TPictureDrawing Drawing;
    QPixmap Cache;
};
