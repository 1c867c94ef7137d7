#include "cli/FirmwareFetch.h"

#include <algorithm>

#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/DownloadState.h"
#include "download/DownloadTransfer.h"
#include "download/SystemHttp.h"
#include "firmware/DeviceVariant.h"
#include "flow/DownloadFailureText.h"

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
        : Protection(protection), Server(std::move(server)) {}

    TResult<TFetchedImage, TFetchFailure> Fetch(const TFetchRequest& request,
                                                IFetchObserver& observer) override {
        const TSettings& settings = request.Settings;
        TDownloadTransfer transfer(settings, Protection, SystemHttpSessions(),
                                   PlatformDownloadFiles());
        if (request.ProxyPassword) {
            transfer.ProxyPassword = GivenPassword(*request.ProxyPassword);
        }
        transfer.Server = Server;

        auto state = std::make_unique<TDownloadState>();
        const std::string path = DownloadPathOf(request.Variant);
        bool cancelled = false;
        const auto outcome = transfer.DownloadFirmware(*state, path, [&] {
            if (state->Busy && observer.CancelRequested()) {
                state->Busy = false; // the transfer stops before its next read
                cancelled = true;
            }
            if (!state->AwaitingResponse) {
                observer.Received(state->ReceivedBytes, state->SizeKnown
                                                            ? std::optional(state->TotalBytes)
                                                            : std::nullopt);
            }
        });
        if (!outcome) {
            // The status the dialog would show for it, in the settings' language.
            return Fail(TFetchFailure{DownloadFailureText(outcome.Error(), settings.CfgLanguage),
                                      outcome.Error().Detail, cancelled});
        }
        // The body is handed on as it came, not copied: it is all the buffer holds.
        const std::size_t size = outcome->size();
        TFetchedImage image;
        image.Body = std::move(state->DownloadBuffer);
        image.Body.resize(size);
        image.Source = DownloadAddress(Server, path);
        image.SavedAs = state->TempFilePath;
        return image;
    }

private:
    IDataProtection& Protection;
    TDownloadServer Server;
};

} // namespace

std::unique_ptr<IFirmwareFetch> MakeFirmwareFetch(IDataProtection& protection,
                                                  TDownloadServer server) {
    return std::make_unique<TDownloadFetch>(protection, std::move(server));
}

} // namespace qor::cli
