#include "cli/ImageSources.h"

#include <filesystem>
#include <system_error>

#include "base/FixedTexts.h"
#include "platform/Utf8Path.h"

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

TFailed InvalidImage(const std::string& reason) {
    TEvent event{"", {InvalidFirmwareFileText, reason}, {}, true};
    event.Fields.Add("reason", reason);
    return TFailed{ExitCode(TExit::InvalidImage), std::move(event)};
}

TResult<TFetchedImage, TFailed> Fetch(TCommandContext& context, TVariantKind variant) {
    TFetchRequest request;
    request.Variant = variant;
    const TProxyChoice& proxy = context.Options.Proxy;
    if (proxy.Mode == TProxyChoice::TMode::Stored) {
        request.Settings = context.StoredSettings();
    } else {
        request.Settings.CfgUseProxy = proxy.Mode == TProxyChoice::TMode::Given;
        request.Settings.CfgProxyServer = proxy.Server;
        request.Settings.CfgProxyPort = proxy.Port;
        if (proxy.User) {
            request.Settings.CfgUseProxyAuth = true;
            request.Settings.CfgProxyUser = *proxy.User;
            const auto password = context.Services.Environment
                                      ? context.Services.Environment(ProxyPasswordVariable)
                                      : std::nullopt;
            request.ProxyPassword = password.value_or("");
        }
    }
    request.Settings.CfgLanguage = context.Language();

    TFetchProgress progress(context.Services, context.Report, context.Text(TxtDownloading));
    auto fetched = context.Services.Fetch.Fetch(request, progress);
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
    TEvent done{"download", {context.Text(TxtDownloadSucceeded)}, {}, false};
    done.Fields.Add("source", fetched->Source).Add("saved_as", fetched->SavedAs);
    done.Fields.Add("size", static_cast<std::int64_t>(fetched->Body.size()));
    context.Report.Event(done);
    return std::move(fetched.Value());
}

} // namespace

TStep<std::optional<TCheckedImage>> LocalImage(TCommandContext& context) {
    if (context.Options.Download) {
        return std::optional<TCheckedImage>();
    }
    auto checked = CheckImageFile(context.Options.File);
    if (!checked) {
        const TFailed invalid = InvalidImage(checked.Error().Reason);
        return Fail(TReported{context.Finish(invalid.Exit, invalid.Event)});
    }
    // The record names the file wherever the command was started from.
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(PathOfUtf8(context.Options.File), ignored);
    return std::optional(TCheckedImage{std::move(checked.Value()), absolute.empty()
                                                                       ? context.Options.File
                                                                       : Utf8OfPath(absolute)});
}

TResult<TVariantKind, TFailed> KindToFetch(const TConnectedVariant& device) {
    if (device) {
        return device->Kind();
    }
    // No image is chosen by a guess: nothing is downloaded, nothing written.
    const std::string reason = "no image can be chosen: " + device.Error().Reason;
    TEvent event{"", {reason}, {}, true};
    event.Fields.Add("reason", reason).Add("device_variant", "unknown");
    return Fail(TFailed{ExitCode(TExit::ImageDoesNotFit), std::move(event)});
}

TResult<TCheckedImage, TFailed> FetchCheckedImage(TCommandContext& context, TVariantKind variant) {
    auto fetched = Fetch(context, variant);
    if (!fetched) {
        return Fail(fetched.Error());
    }
    auto checked = CheckImageBytes(std::move(fetched->Body));
    if (!checked) {
        return Fail(InvalidImage(checked.Error().Reason));
    }
    return TCheckedImage{std::move(checked.Value()), fetched->Source};
}

} // namespace qor::cli
