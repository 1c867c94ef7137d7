#include <fontconfig/fontconfig.h>

#include "app/FontConfigWarmup.h"

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
