// The status text of a download that ended without an image, as the download dialog shows it
// and the command line reports it, so that both say the same.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadError.h"

namespace qor {

// "Connecting to server failed!", with the status code after it for a refused status, "Error
// downloading the firmware file!" or "Operation cancelled".
std::string DownloadFailureText(const TDownloadError& error, std::uint8_t language);

} // namespace qor
