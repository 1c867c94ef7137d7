// The file services the download needs: the user's temporary directory and a safe write.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/Result.h"

namespace qor {

struct TDownloadFiles {
    // A directory ending in a separator.
    std::function<TResult<std::string>()> TempDirectory;
    // Replaces the file with exactly these bytes, or leaves it as it was.
    std::function<TResult<void>(const std::string& path, std::span<const std::uint8_t> bytes)>
        WriteFile;
};

// The platform's private temporary directory and its atomic, link-safe write.
TDownloadFiles PlatformDownloadFiles();

} // namespace qor
