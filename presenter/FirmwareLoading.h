// The two ways an image gets loaded: a local file the user chose, and the body the download
// brought. Both check the image, test it against the device connected now, report through
// the message box and leave the result in the model, which the display shows on its next tick.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/MessageBox.h"
#include "download/FirmwareDownload.h"
#include "firmware/DeviceVariant.h"
#include "flow/ImageChecks.h"
#include "presenter/MainModel.h"

namespace qor {

// After the open dialog returned `path`. An invalid file, or one that does not fit the
// connected device (`device`; none while no device answers or its variant is unknown), is reported
// and any loaded image is discarded; a fitting one becomes the loaded image. Returns whether an
// image is loaded.
bool OpenLocalFirmware(const std::string& path, const TConnectedVariant& device, TMainModel& model,
                       std::uint8_t language, IMessageBox& messages);

// After the download dialog closed. Without an image the loaded one is discarded silently.
// The body, taken over as it is, is checked as a file would be and must fit the device
// connected now, as a local file must; it is shown under the name of the file it was saved to.
bool AcceptDownloadedFirmware(std::optional<TDownloadedImage> downloaded,
                              const TConnectedVariant& device, TMainModel& model,
                              std::uint8_t language, IMessageBox& messages);

} // namespace qor
