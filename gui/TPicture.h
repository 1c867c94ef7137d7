// A transparent picture drawn from the build's rendering of an SVG resource at the picture's
// own size (or scaled down to the widget's size when that is smaller), anchored top-left like
// a non-stretched image control. The rendering is decoded at the first paint and kept: the
// state images blink every second for hours.
#pragma once

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
    QString Source;
    TPictureDrawing Drawing;
};
