#include "download/DownloadFiles.h"

#include "platform/TempDir.h"

namespace qor {

TDownloadFiles PlatformDownloadFiles() {
    return {UserTempDirectory, [](const std::string& path, std::span<const std::uint8_t> bytes) {
                // The download's copy in the temporary directory is read back by this run
                // only: nothing waits for the disk.
                return WriteFileAtomically(path, bytes, TDurability::Scratch);
            }};
}

} // namespace qor
