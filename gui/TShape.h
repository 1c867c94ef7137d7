// A circle shape with fill and outline colour, as the indicator marks over the device picture.
#pragma once

#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)
    Q_PROPERTY(QColor penColor READ penColor WRITE setPenColor)
public:
    explicit TShape(QWidget* parent = nullptr);

    QColor brushColor() const { return Brush; }
    void setBrushColor(const QColor& colour);
    QColor penColor() const { return Pen; }
    void setPenColor(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor Brush = Qt::white;
    QColor Pen = Qt::black;
};
