// One device's part of flash: the image's fit with the device that answers, the update flow
// the window runs with its events (image, progress, power-off), and the result event with its
// exit code. flash runs it once; flash --all once per device, each on a thread of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/CliServices.h"
#include "cli/Reporter.h"
#include "device/ConnectionMonitor.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "presenter/ImageChecks.h"

namespace qor::cli {

// An image that passed its checks, and where it came from: its path or its download's address.
struct TCheckedImage {
    TFirmwareImage Image;
    std::string Source;
};

struct TDeviceUpdateEnd {
    int Exit = 0;
    // The firmware version the device reports afterwards as the device panel shows it: what
    // the update's read-back reported, the one from before when nothing was sent, else not
    // known.
    std::string FirmwareAfter;
};

// Writes `image` into the device `monitor` holds; reports the result event.
TDeviceUpdateEnd UpdateDevice(TConnectionMonitor& monitor, const TCheckedImage& image,
                              bool powerOffAfter, std::uint8_t language, TCliServices& services,
                              IReporter& report);

// Reports an image the device cannot take, nothing written; returns its exit code.
int ReportDoesNotFit(IReporter& report, std::uint8_t language, const TFirmwareImage& image,
                     const TImageRejection& refusal, const TConnectedVariant& device);

} // namespace qor::cli
