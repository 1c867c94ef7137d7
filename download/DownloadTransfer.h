// The firmware download over HTTP: the image the request names, fetched directly or through
// the configured proxy into a buffer reserved before the transfer starts, then saved to the
// temporary file (see FirmwareDownload.h for what the caller gives and gets).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "download/DownloadError.h"
#include "download/DownloadFiles.h"
#include "download/FirmwareDownload.h"
#include "download/HttpSession.h"
#include "secrets/DataProtection.h"

namespace qor {

// A Content-Length text as a byte count: decimal digits only, 0 for anything else or for a
// number beyond 32 bits.
std::uint32_t ParseContentLength(const std::string& text);

// The one length all Content-Length headers of a response give (a header may list several,
// separated by commas); none without such a header. Lengths that disagree leave the body
// without a frame, so they are refused.
TResult<std::optional<std::string>> AgreedContentLength(const std::vector<std::string>& headers);

struct TDownloadLimits {
    // The whole transfer, from connecting to the last byte of the body. The largest image
    // takes 8 minutes at 25 kbit/s, a poor mobile line; a line slower than that, or a server
    // that trickles its answer to stay within the back-end's silence bound, is given up.
    std::chrono::seconds Overall{600};
};

class TDownloadTransfer {
public:
    using TClock = std::function<std::chrono::steady_clock::time_point()>;

    // The HTTP client, the protection a stored proxy password is read back with, and the
    // temporary directory with its write.
    TDownloadTransfer(IDataProtection& protection, THttpSessionFactory sessions,
                      TDownloadFiles files);

    TDownloadLimits Limits;
    TClock Now = [] {
        return std::chrono::steady_clock::now();
    };

    // Runs the whole transfer of the request's image, telling `observer` as it goes: the
    // image, or why there is none.
    TDownloadResult DownloadFirmware(const TDownloadRequest& request,
                                     IDownloadObserver& observer) const;

private:
    class TRun; // one transfer: its request, its observer and the overall deadline

    // The request for the image with the proxy and its credentials from the settings.
    TResult<THttpRequest, TDownloadError> MakeRequest(const TDownloadRequest& download) const;

    IDataProtection& Protection;
    THttpSessionFactory Sessions;
    TDownloadFiles Files;
};

} // namespace qor
