#include <fontconfig/fontconfig.h>

#include "gui/FontConfigWarmup.h"

TFontConfigWarmup::TFontConfigWarmup() : Reader([] { FcInit(); }) {
}

TFontConfigWarmup::~TFontConfigWarmup() {
    Wait();
}

void TFontConfigWarmup::Wait() {
    if (Reader.joinable()) {
        Reader.join();
    }
}
