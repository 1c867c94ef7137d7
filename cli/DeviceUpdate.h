// One device's part of flash: the image's fit with the device that answers, the update flow
// the window runs with its events (image, progress, power-off), and the result event with its
// exit code. flash runs it once; flash --all once per device, each on a thread of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/CliServices.h"
#include "cli/DeviceConnect.h"
#include "cli/Reporter.h"
#include "device/ConnectionMonitor.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "flow/ImageChecks.h"

namespace qor::cli {

// An image that passed its checks, and where it came from: its path or its download's address.
struct TCheckedImage {
    TFirmwareImage Image;
    std::string Source;
};

// How flash writes a device, besides the image.
struct TDeviceUpdatePlan {
    bool PowerOffAfter = false;
    bool SkipCurrent = false;
    // Attempts after one that failed in an exchange or left the checksums differing.
    std::uint32_t Retries = 0;
    // Before another attempt: waits for the same unit to answer again (its serial number, or
    // its port without one) and says whether it did; an interruption is the caller's to see.
    std::function<bool()> Reconnect;
};

struct TDeviceUpdateEnd {
    int Exit = 0;
    // The firmware version the device reports afterwards as the device panel shows it: what
    // the update's read-back reported, the one from before when nothing was sent, else not
    // known.
    std::string FirmwareAfter;
    bool Current = false; // nothing written: the device already ran the image
    std::uint32_t Attempts = 1;
};

// The event that tells of an image taken for writing: its name and version, with its source,
// size and CRC for a script.
TEvent ImageLoadedEvent(const TCheckedImage& image, std::uint8_t language);

// Writes `image` into the device `monitor` holds, again after a failure as `plan` allows;
// reports each failed attempt that is followed by another, then the result event.
TDeviceUpdateEnd UpdateDevice(TConnectionMonitor& monitor, const TCheckedImage& image,
                              const TDeviceUpdatePlan& plan, std::uint8_t language,
                              TCliServices& services, IReporter& report);

// Waits for the unit `connector` last found to answer again, as plan.Reconnect does, for at
// most `wait` until it is listed, and asks its bootloader afresh.
bool ReconnectSameUnit(TDeviceConnector& connector, TMs wait);

// Reports an image the device cannot take, nothing written; returns its exit code.
int ReportDoesNotFit(IReporter& report, std::uint8_t language, const TFirmwareImage& image,
                     const TImageRejection& refusal, const TConnectedVariant& device);

} // namespace qor::cli
