#include "gui/FontConfigWarmup.h"

TFontConfigWarmup::TFontConfigWarmup() = default;

TFontConfigWarmup::~TFontConfigWarmup() = default;

void TFontConfigWarmup::Wait() {
}
