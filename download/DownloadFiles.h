// The file services the download needs: the user's temporary directory and a safe write.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/Result.h"

namespace qor {

// A file service's outcome; the failure is the reason in words.
template <typename T> using TFileResult = TResult<T, std::string>;

struct TDownloadFiles {
    // A directory ending in a separator.
    std::function<TFileResult<std::string>()> TempDirectory;
    // Replaces the file with exactly these bytes, or leaves it as it was.
    std::function<TFileResult<void>(const std::string& path, std::span<const std::uint8_t> bytes)>
        WriteFile;
};

// The platform's private temporary directory and its atomic, link-safe write.
TDownloadFiles PlatformDownloadFiles();

} // namespace qor
