// download, and the download of flash --download: the image for a variant from the download
// server, with the stored proxy settings unless the options say otherwise, checked as the
// window checks a downloaded image.
#include "base/Windows1252.h"
#include "cli/CommandRun.h"
#include "cli/Format.h"
#include "flow/ImageChecks.h"
#include "platform/TempDir.h"

namespace qor::cli {
namespace {

class TFetchProgress : public IDownloadObserver {
public:
    TFetchProgress(TCliServices& services, IReporter& report, std::string label)
        : Services(services), Report(report), Label(std::move(label)) {}

    void Received(std::uint32_t bytes, std::optional<std::uint32_t> total) override {
        if (Reported && *Reported == bytes) {
            return; // the transfer also pumps while it waits for the network
        }
        Reported = bytes;
        Report.Progress(TProgress{"download",
                                  Label,
                                  bytes,
                                  total ? std::optional<std::uint64_t>(*total) : std::nullopt,
                                  "bytes",
                                  {}});
    }
    bool CancelRequested() override { return Services.Interrupted && Services.Interrupted(); }

private:
    TCliServices& Services;
    IReporter& Report;
    std::string Label;
    std::optional<std::uint32_t> Reported;
};

// The file name of the variant's image on the server: "qor-7316-a.bin".
std::string ServerFileName(TVariantKind variant) {
    const std::string path = DownloadPathOf(variant);
    return path.substr(path.rfind('/') + 1);
}

} // namespace

TResult<TVariantKind, TFailed> TCommandRun::KindToFetch(const TConnectedVariant& device) {
    if (device) {
        return device->Kind();
    }
    // No image is chosen by a guess: nothing is downloaded, nothing written.
    const std::string reason = "no image can be chosen: " + device.Error().Reason;
    TEvent event{"", {reason}, {}, true};
    event.Fields.Add("reason", reason).Add("device_variant", "unknown");
    return Fail(TFailed{ExitCode(TExit::ImageDoesNotFit), std::move(event)});
}

TResult<TFetchedImage, TFailed> TCommandRun::Fetch(TVariantKind variant) {
    TFetchRequest request;
    request.Variant = variant;
    const TProxyChoice& proxy = Options.Proxy;
    if (proxy.Mode == TProxyChoice::TMode::Stored) {
        request.Settings = StoredSettings();
    } else {
        request.Settings.CfgUseProxy = proxy.Mode == TProxyChoice::TMode::Given;
        request.Settings.CfgProxyServer = proxy.Server;
        request.Settings.CfgProxyPort = proxy.Port;
        if (proxy.User) {
            request.Settings.CfgUseProxyAuth = true;
            request.Settings.CfgProxyUser = *proxy.User;
            const auto password =
                Services.Environment ? Services.Environment(ProxyPasswordVariable) : std::nullopt;
            request.ProxyPassword = password.value_or("");
        }
    }
    request.Settings.CfgLanguage = Language();

    TFetchProgress progress(Services, Report, Text(TxtDownloading));
    auto fetched = Services.Fetch.Fetch(request, progress);
    if (!fetched) {
        const TDownloadError& failure = fetched.Error();
        TEvent event{"", {failure.Text}, {}, true};
        if (!failure.Detail.empty()) {
            event.Lines.push_back(failure.Detail);
        }
        event.Fields.Add("reason", failure.Detail);
        const bool cancelled = failure.Reason == TDownloadFailure::Cancelled;
        return Fail(TFailed{ExitCode(cancelled ? TExit::Interrupted : TExit::DownloadFailed),
                            std::move(event)});
    }
    TEvent done{"download", {Text(TxtDownloadSucceeded)}, {}, false};
    done.Fields.Add("source", fetched->Source).Add("saved_as", fetched->SavedAs);
    done.Fields.Add("size", static_cast<std::int64_t>(fetched->Body.size()));
    Report.Event(done);
    return std::move(fetched.Value());
}

TResult<TCheckedImage, TFailed> TCommandRun::FetchChecked(TVariantKind variant) {
    auto fetched = Fetch(variant);
    if (!fetched) {
        return Fail(fetched.Error());
    }
    auto checked = CheckImageBytes(std::move(fetched->Body));
    if (!checked) {
        return Fail(InvalidImage(checked.Error().Reason));
    }
    return TCheckedImage{std::move(checked.Value()), fetched->Source};
}

int TCommandRun::Download() {
    if (!Options.Variant) {
        if (const auto connected = ConnectDevice(); !connected) {
            return connected.Error().Exit;
        }
    }
    const TConnectedVariant target =
        Options.Variant ? TConnectedVariant(*TDeviceVariant::FromLetter(*Options.Variant))
                        : ConnectedVariant(Connector.Monitor());
    const auto kind = KindToFetch(target);
    if (!kind) {
        return Finish(kind.Error().Exit, kind.Error().Event);
    }
    auto checked = FetchChecked(*kind);
    if (!checked) {
        return Finish(checked.Error().Exit, checked.Error().Event);
    }
    const TFirmwareImage& image = checked->Image;
    if (const auto fits = ImageFits(image, target); !fits) {
        return DoesNotFit(image, fits.Error(), target);
    }
    const std::string path = Options.Out.value_or(ServerFileName(target->Kind()));
    if (const auto written = WriteFileAtomically(path, image.Bytes()); !written) {
        const std::string& error = written.Error().Reason;
        TEvent event{"", {Text(TxtDownloadFailed), error}, {}, true};
        event.Fields.Add("reason", error);
        return Finish(TExit::DownloadFailed, std::move(event));
    }
    const std::string version = Windows1252ToUtf8(image.Version());
    TEvent event{"", {Text(TxtDownloadSucceeded), path + " " + version}, {}, false};
    event.Fields.Add("file", path).Add("version", version);
    event.Fields.Add("size", static_cast<std::int64_t>(image.Size()));
    event.Fields.Add("crc", Hex32(image.Crc()));
    return Finish(TExit::Success, std::move(event));
}

} // namespace qor::cli
