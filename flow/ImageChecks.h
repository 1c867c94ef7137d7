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

// Why a file is no valid image, or why a valid image does not fit the device; which of the two
// the function that refused it tells.
struct TImageRejection {
    // A fit refusal: why; none when no device answers at all or its variant is not known (and
    // for an invalid file).
    std::optional<TFitFault> Fit;
    std::string Reason; // in words, for whoever looks closer
};

using TImageCheck = TResult<TFirmwareImage, TImageRejection>;

// The variant of the device connected now, from the geometry it reported since it was found;
// why there is none: no device answers, or it did not report its page size or page count.
using TConnectedVariant = TResult<TDeviceVariant>;
TConnectedVariant ConnectedVariant(const TConnectionMonitor& monitor);

// A file the user named: a regular file of at most ImageMaximumSize bytes, checked.
TImageCheck CheckImageFile(const std::string& path);
// Bytes that came another way (a download), checked as a file would be.
TImageCheck CheckImageBytes(std::vector<std::uint8_t> bytes);

// Whether `image` may be written to `device`: the reason it may not, when it may not.
using TImageFit = TResult<void, TImageRejection>;
TImageFit ImageFits(const TFirmwareImage& image, const TConnectedVariant& device);

} // namespace qor
