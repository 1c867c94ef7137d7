// The main window's own state: the loaded image, the update's state, the counters shared by
// the two timers, and what the window shows. The device port and the bootloader's values
// live with the device link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/MainView.h"

namespace qor {

using TImageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

struct TMainState {
    // The loaded image. Shared, so that an update keeps the bytes it is writing even when
    // the image is discarded meanwhile.
    TImageBytes FWBuffer;
    std::uint32_t FWSize = 0;
    bool FWLoaded = false;
    std::string FWVersion;  // four bytes as stored in the file (Windows-1252)
    std::string FWFilename; // UTF-8

    std::int32_t Step = 0;
    std::int32_t HintPhase = 0;
    std::int32_t HintCountdown = 0;
    std::int32_t QueryCountdown = 4;
    std::int32_t BlinkCountdown = 5;
    bool UpdateSucceeded = false;
    bool UpdateFailed = false;
    std::uint32_t AnimCounter = 0;
    bool CloseConfirmed = false;
    std::uint8_t DeviceVariant = 0;
    bool UpdateRunning = false;
    std::uint8_t PollCountdown = 0;

    TMainView View;

    // Releases the image; its name and version stay but are no longer shown.
    void DiscardImage() {
        FWBuffer.reset();
        FWLoaded = false;
    }
};

} // namespace qor
