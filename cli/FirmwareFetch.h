// Fetching the image for a variant from the download server: the command line's one door to
// the download layer.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/Settings.h"
#include "download/DownloadServer.h"
#include "download/FirmwareDownload.h"
#include "firmware/DeviceVariant.h"
#include "secrets/DataProtection.h"

namespace qor::cli {

struct TFetchRequest {
    // Any other device fetches b's image.
    TVariantKind Variant = TVariantKind::A;
    // The proxy settings to use, and the language of the status texts.
    TSettings Settings;
    // The proxy password given for this run, used instead of the stored protected one.
    std::optional<std::string> ProxyPassword;
};

// The body as it came, where from and the temporary file the download also wrote.
using TFetchedImage = TDownloadedImage;

class IFirmwareFetch {
public:
    virtual ~IFirmwareFetch() = default;
    // The error's text is the download dialog's status text, in the request's language.
    virtual TDownloadResult Fetch(const TFetchRequest& request, IDownloadObserver& observer) = 0;
};

// The system's HTTP client and temporary directory; the product's server unless `server` names
// another (tests, the demo). The stored password is unprotected with `protection`.
std::unique_ptr<IFirmwareFetch> MakeFirmwareFetch(IDataProtection& protection,
                                                  TDownloadServer server = {});

} // namespace qor::cli
