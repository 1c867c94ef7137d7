// One firmware download: an image fetched over HTTP, directly or through the configured
// proxy, into the dialog's buffer and then into the temporary file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "download/DownloadError.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/DownloadState.h"
#include "download/HttpSession.h"
#include "platform/SecretBytes.h"
#include "secrets/DataProtection.h"

namespace qor {

// The temporary file's name inside the user's temporary directory.
inline constexpr const char* DownloadFileName = "qor-7316.bin";

// "/qor-7316-a.bin" for the variant letter 'a'.
std::string FirmwareRequestPath(char variantLetter);

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

using TDownloadOutcome = TResult<std::span<const std::uint8_t>, TDownloadError>;

class TDownloadTransfer {
public:
    using TClock = std::function<std::chrono::steady_clock::time_point()>;

    TDownloadTransfer(const TSettings& settings, IDataProtection& protection,
                      THttpSessionFactory sessions, TDownloadFiles files);

    // The product's server unless replaced (tests, the demo).
    TDownloadServer Server;
    // A proxy password given for this transfer alone (the command line's), sent instead of
    // the stored one; with its terminating zero, as a stored password holds it.
    std::optional<TSecretBytes> ProxyPassword;
    TDownloadLimits Limits;
    TClock Now = [] {
        return std::chrono::steady_clock::now();
    };

    // Runs the whole transfer of `requestPath`, pumping the caller's events while it waits and
    // after every piece of the body; Cancel (Busy cleared) is seen within a pump. Returns the
    // image (held in state.DownloadBuffer) or why there is none; the outcome is also left in
    // `state` (DownloadOK, TempFilePath, Failure) for the dialog to show.
    TDownloadOutcome DownloadFirmware(TDownloadState& state, const std::string& requestPath,
                                      const TPump& pump) const;

private:
    class TRun; // one transfer: its state, the caller's pump and the overall deadline

    // The request for `requestPath` with the proxy and its credentials from the settings.
    TResult<THttpRequest, TDownloadError> MakeRequest(const std::string& requestPath) const;

    const TSettings& Settings;
    IDataProtection& Protection;
    THttpSessionFactory Sessions;
    TDownloadFiles Files;
};

} // namespace qor
