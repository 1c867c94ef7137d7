#include "cli/FirmwareFetch.h"

#include "download/DownloadDisplay.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/DownloadState.h"
#include "download/DownloadTransfer.h"
#include "download/SystemHttp.h"
#include "firmware/DeviceVariant.h"

namespace qor::cli {
namespace {

// Stands in for the data protection when the password was given for this run: the transfer
// asks for the stored blob's plaintext and gets the given password with its terminating zero.
class TGivenPassword : public IDataProtection {
public:
    explicit TGivenPassword(const std::string& password) {
        Plain.Resize(password.size() + 1);
        std::copy(password.begin(), password.end(), Plain.Data());
        Plain.Data()[password.size()] = 0;
    }
    std::optional<std::vector<std::uint8_t>> Protect(std::span<const std::uint8_t>,
                                                     const std::u16string&) override {
        return std::nullopt;
    }
    std::optional<TSecretBytes> Unprotect(std::span<const std::uint8_t>) override {
        return TSecretBytes(Plain.View());
    }

private:
    TSecretBytes Plain;
};

// The transfer needs a blob to ask about; its bytes do not matter to TGivenPassword.
constexpr std::uint8_t GivenPasswordMarker = 1;

class TDownloadFetch : public IFirmwareFetch {
public:
    TDownloadFetch(IDataProtection& protection, std::optional<TFetchServer> server)
        : Protection(protection) {
        if (server) {
            Server.Host = server->Host;
            Server.Port = server->Port;
        }
    }

    TResult<TFetchedImage, TFetchFailure> Fetch(const TFetchRequest& request,
                                                IFetchObserver& observer) override {
        TSettings settings = request.Settings;
        std::optional<TGivenPassword> given;
        if (request.ProxyPassword) {
            given.emplace(*request.ProxyPassword);
            settings.CfgProxyPassword = {GivenPasswordMarker};
        }
        IDataProtection& protection = given ? static_cast<IDataProtection&>(*given) : Protection;
        TDownloadTransfer transfer(settings, protection, SystemHttpSessions(),
                                   PlatformDownloadFiles());
        transfer.Server = Server;

        auto state = std::make_unique<TDownloadState>();
        const std::string path = DownloadPathOf(request.VariantNumber);
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
        TFetchedImage image;
        image.Body.assign(outcome->begin(), outcome->end());
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
                                                  std::optional<TFetchServer> server) {
    return std::make_unique<TDownloadFetch>(protection, std::move(server));
}

} // namespace qor::cli
