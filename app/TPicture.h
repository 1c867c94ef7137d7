// A transparent picture drawn from an SVG resource (or the build's PNG rendering of it) at the
// widget's size (or the picture's own size when that is smaller), anchored top-left like a
// non-stretched image control.
#pragma once

#include <QString>
#include <QWidget>

#include "app/TPictureDrawing.h"

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
