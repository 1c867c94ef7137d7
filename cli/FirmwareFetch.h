// Fetching the image for a variant from the download server: the command line's one door to
// the download layer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/Settings.h"
#include "download/DownloadServer.h"
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

struct TFetchedImage {
    std::vector<std::uint8_t> Body;
    std::string Source;  // the address it came from
    std::string SavedAs; // the temporary file the download also wrote
};

struct TFetchFailure {
    std::string Status; // the download dialog's status text, in the request's language
    std::string Detail; // the failing layer's own words, not translated
    bool Cancelled = false;
};

class IFetchObserver {
public:
    virtual ~IFetchObserver() = default;
    // Body bytes so far, and the announced total when there is one.
    virtual void Received(std::uint32_t bytes, std::optional<std::uint32_t> total) = 0;
    virtual bool CancelRequested() = 0;
};

class IFirmwareFetch {
public:
    virtual ~IFirmwareFetch() = default;
    virtual TResult<TFetchedImage, TFetchFailure> Fetch(const TFetchRequest& request,
                                                        IFetchObserver& observer) = 0;
};

// The system's HTTP client and temporary directory; the product's server unless `server` names
// another (tests, the demo). The stored password is unprotected with `protection`.
std::unique_ptr<IFirmwareFetch> MakeFirmwareFetch(IDataProtection& protection,
                                                  TDownloadServer server = {});

} // namespace qor::cli
