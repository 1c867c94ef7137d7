#include "download/DownloadFiles.h"

#include "platform/TempDir.h"

namespace qor {

TDownloadFiles PlatformDownloadFiles() {
    return {UserTempDirectory, WriteFileAtomically};
}

} // namespace qor
