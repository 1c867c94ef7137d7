// The checks an image passes before it is written, shared by the window and the command line
// so that both give the same verdict: the file must be a valid image, and it must fit the
// device that answers now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "device/ConnectionMonitor.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"

namespace qor {

struct TImageRejection {
    enum class TKind {
        InvalidFile, // unreadable, empty, too short or too large, or its trailer does not match
        DoesNotFit,  // a valid image the device cannot take
    };
    TKind Kind = TKind::InvalidFile;
    // DoesNotFit: why; none when no device answers at all.
    std::optional<TFitFault> Fit;
    std::string Reason; // in words, for whoever looks closer
};

using TImageCheck = TResult<TFirmwareImage, TImageRejection>;

// The device connected now: none while its bootloader does not answer.
std::optional<TDeviceVariant> ConnectedVariant(const TConnectionMonitor& monitor);

// A file the user named: a regular file of at most ImageMaximumSize bytes, checked.
TImageCheck CheckImageFile(const std::string& path);
// Bytes that came another way (a download), checked as a file would be.
TImageCheck CheckImageBytes(std::vector<std::uint8_t> bytes);

// Whether `image` may be written to `device`; none when it may.
std::optional<TImageRejection> CheckImageFits(const TFirmwareImage& image,
                                              const std::optional<TDeviceVariant>& device);

} // namespace qor
