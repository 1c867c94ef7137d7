#include "gui/TShape.h"

#include <QPainter>

#include <algorithm>

TShape::TShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::setBrushColor(const QColor& colour) {
    Brush = colour;
    update();
}

void TShape::setPenColor(const QColor& colour) {
    Pen = colour;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    // A circle uses the shorter side as its diameter and sits in the middle of the frame.
    const int diameter = std::min(width(), height()) - 1;
    const QRect circle((width() - diameter) / 2, (height() - diameter) / 2, diameter, diameter);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Pen, 1));
    painter.setBrush(Brush);
    painter.drawEllipse(circle);
}
