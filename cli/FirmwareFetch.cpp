#include "cli/FirmwareFetch.h"

#include <algorithm>

#include "download/DownloadFiles.h"
#include "download/DownloadTransfer.h"
#include "download/SystemHttp.h"

namespace qor::cli {
namespace {

// A password given for this run as the transfer sends it: with its terminating zero.
TSecretBytes GivenPassword(const std::string& password) {
    TSecretBytes bytes;
    bytes.Resize(password.size() + 1);
    std::copy(password.begin(), password.end(), bytes.Data());
    bytes.Data()[password.size()] = 0;
    return bytes;
}

class TDownloadFetch : public IFirmwareFetch {
public:
    TDownloadFetch(IDataProtection& protection, TDownloadServer server)
        : Transfer(protection, SystemHttpSessions(), PlatformDownloadFiles()),
          Server(std::move(server)) {}

    TDownloadResult Fetch(const TFetchRequest& request, IDownloadObserver& observer) override {
        TDownloadRequest download{request.Variant, request.Settings, std::nullopt, Server};
        if (request.ProxyPassword) {
            download.ProxyPassword = GivenPassword(*request.ProxyPassword);
        }
        return Transfer.DownloadFirmware(download, observer);
    }

private:
    TDownloadTransfer Transfer;
    TDownloadServer Server;
};

} // namespace

std::unique_ptr<IFirmwareFetch> MakeFirmwareFetch(IDataProtection& protection,
                                                  TDownloadServer server) {
    return std::make_unique<TDownloadFetch>(protection, std::move(server));
}

} // namespace qor::cli
