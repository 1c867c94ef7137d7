// A firmware download as its callers see it: a request in; while the transfer runs on the
// caller's thread, an observer hears how much of the body has come and is asked whether to
// cancel; one result back, the image with where it was saved or the error with its texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/Settings.h"
#include "download/DownloadError.h"
#include "download/DownloadServer.h"
#include "firmware/DeviceVariant.h"
#include "platform/SecretBytes.h"

namespace qor {

// The temporary file's name inside the user's temporary directory.
inline constexpr const char* DownloadFileName = "qor-7316.bin";
// The largest image the download takes; a longer body fails.
inline constexpr std::size_t DownloadBufferSize = 1'500'000;

struct TDownloadRequest {
    // Whose image: variant a's for variant a, b's for every other device.
    TVariantKind Variant = TVariantKind::Other;
    // The proxy settings as they are now, and the language of the error's text.
    TSettings Settings;
    // A proxy password given for this transfer alone (the command line's), sent instead of
    // the stored one; with its terminating zero, as a stored password holds it.
    std::optional<TSecretBytes> ProxyPassword;
    // The product's server unless replaced (tests, the demo).
    TDownloadServer Server;
};

struct TDownloadedImage {
    // The whole body in the buffer it was received into, reserved for the largest image before
    // the transfer began: nothing was allocated for it while it ran. Moved on, not copied.
    std::vector<std::uint8_t> Body;
    // Where it came from, as the records name an image's origin.
    std::string Source;
    // The temporary file, written with the same bytes.
    std::string SavedAs;
};

using TDownloadResult = TResult<TDownloadedImage, TDownloadError>;

class IDownloadObserver {
public:
    virtual ~IDownloadObserver() = default;

    // The body bytes so far, and the length the response announced when it announced one:
    // with 0 bytes as soon as the head of the response has come, then after every piece.
    virtual void Received(std::uint32_t bytes, std::optional<std::uint32_t> total) = 0;

    // Asked once before the transfer connects, every few milliseconds while it waits for the
    // network and after every piece of the body; the caller's own events may run here. True
    // stops the transfer before its next step, and it ends as cancelled.
    virtual bool CancelRequested() = 0;
};

} // namespace qor
