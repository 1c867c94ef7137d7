// The main window's state as the presenter keeps it: the loaded image, the update's state,
// the counters of the display and what the window shows. The device link and the
// bootloader's values live with the connection monitor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "presenter/MainView.h"

namespace qor {

struct TMainModel {
    // The loaded image. A copy shares its bytes, so an update keeps what it is writing even
    // when the image is discarded meanwhile.
    std::optional<TFirmwareImage> FWImage;
    std::string FWVersion;  // four bytes as stored in the file (Windows-1252)
    std::string FWFilename; // UTF-8
    std::string FWSource;   // where the image came from: its path or its download address
    // Why the last update's service record could not be kept, for the next service report;
    // empty when it was.
    std::string RecordFailure;

    std::int32_t Step = 0;
    std::int32_t HintPhase = 0;
    std::int32_t HintCountdown = 0;
    std::int32_t BlinkCountdown = 5;
    bool UpdateSucceeded = false;
    bool UpdateFailed = false;
    std::uint32_t AnimCounter = 0;
    bool CloseConfirmed = false;
    TVariantKind DeviceVariant = TVariantKind::A;
    bool UpdateRunning = false;

    TMainView View;

    bool FWLoaded() const { return FWImage.has_value(); }
    // Releases the image; its name and version stay but are no longer shown.
    void DiscardImage() { FWImage.reset(); }
};

// Ticks between status image toggles, and animation ticks per dot of the status texts.
inline constexpr std::int32_t BlinkReload = 10;
inline constexpr std::uint32_t AnimTicksPerDot = 10;

} // namespace qor
