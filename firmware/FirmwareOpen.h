// The two ways an image gets loaded: a local file the user chose, and the file the download
// dialog saved. Both report through the message box and leave the result in the state, which
// the display refresh shows on its next tick.
#pragma once

#include <cstdint>
#include <string>

#include "app/MainState.h"
#include "base/MessageBox.h"

namespace qor {

// After the open dialog returned `path`. An invalid file or one for another device variant is
// reported and any loaded image is discarded; a fitting one becomes the loaded image.
// Returns whether an image is loaded afterwards.
bool OpenLocalFirmware(const std::string& path, TMainState& state, std::uint8_t language,
                       IMessageBox& messages);

// After the download dialog closed. Without success the image is discarded silently; a file
// that fails the check is reported and the image discarded. The download asked for the file of
// the device's variant, so no variant test is made. Returns whether an image is loaded.
bool AcceptDownloadedFirmware(bool downloadOK, const std::string& tempFilePath, TMainState& state,
                              IMessageBox& messages);

} // namespace qor
