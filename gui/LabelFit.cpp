#include "gui/LabelFit.h"

#include <QLabel>

void FitToText(QLabel* label) {
    if (label->wordWrap()) {
        return;
    }
    // Left and top stay, and the height, so that a row of labels stays in line.
    const int needed = label->sizeHint().width();
    if (needed > label->width()) {
        label->resize(needed, label->height());
    }
}

void FitToText(std::initializer_list<QLabel*> labels) {
    for (QLabel* label : labels) {
        FitToText(label);
    }
}
