// The file services the download needs: the user's temporary directory and a safe write.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace qor {

struct TDownloadFiles {
    // A directory ending in a separator; nullopt with the reason in `error`.
    std::function<std::optional<std::string>(std::string& error)> TempDirectory;
    // Replaces the file with exactly these bytes, or leaves it as it was and says why.
    std::function<bool(const std::string& path, std::span<const std::uint8_t> bytes,
                       std::string& error)>
        WriteFile;
};

// The platform's private temporary directory and its atomic, link-safe write.
TDownloadFiles PlatformDownloadFiles();

} // namespace qor
