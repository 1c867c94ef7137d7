// The display refresh run by the main window's display timer every 100 ms: buttons, the
// firmware file panel, the update's result and progress, the step highlight and the indicator
// marks over the device picture.
#pragma once

#include <cstdint>

#include "presenter/MainModel.h"

namespace qor {

// One tick on the model; the window copies model.View onto its widgets afterwards.
// `bootloaderReady` is the connection monitor's verdict, `language` the current column.
// Besides the usual rules, Update is disabled in the steps before an image is loaded, so an
// update can only be started from step 3.
void DisplayTimerTick(TMainModel& model, bool bootloaderReady, std::uint8_t language);

} // namespace qor
