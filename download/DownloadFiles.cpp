#include "download/DownloadFiles.h"

#include "platform/TempDir.h"

namespace qor {

TDownloadFiles PlatformDownloadFiles() {
    return {[]() -> TFileResult<std::string> {
                auto directory = UserTempDirectory();
                if (!directory) {
                    return TFailure{directory.Error().Reason};
                }
                return std::move(*directory);
            },
            [](const std::string& path, std::span<const std::uint8_t> bytes) -> TFileResult<void> {
                // The download's copy in the temporary directory is read back by this run
                // only: nothing waits for the disk.
                if (const auto written = WriteFileAtomically(path, bytes, TDurability::Scratch);
                    !written) {
                    return TFailure{written.Error().Reason};
                }
                return {};
            }};
}

} // namespace qor
