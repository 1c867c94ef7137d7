// Labels whose caption is set while the program runs are at least as wide as their text, as
// the labels of the toolkit the layouts come from size themselves: a caption longer than the
// German one the layout was made with is never cut off. Where the layout's width holds the
// text it stays; a label that wraps its words keeps its layout's size.
#pragma once

#include <initializer_list>

class QLabel;

void FitToText(QLabel* label);
void FitToText(std::initializer_list<QLabel*> labels);
