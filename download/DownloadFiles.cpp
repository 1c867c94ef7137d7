#include "download/DownloadFiles.h"

#include "platform/TempDir.h"

namespace qor {

TDownloadFiles PlatformDownloadFiles() {
    return {[]() -> TFileResult<std::string> {
                std::string error;
                auto directory = UserTempDirectory(error);
                if (!directory) {
                    return TFailure{std::move(error)};
                }
                return std::move(*directory);
            },
            [](const std::string& path, std::span<const std::uint8_t> bytes) -> TFileResult<void> {
                std::string error;
                if (!WriteFileAtomically(path, bytes, error)) {
                    return TFailure{std::move(error)};
                }
                return {};
            }};
}

} // namespace qor
