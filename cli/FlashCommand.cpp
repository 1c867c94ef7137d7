// flash: the image checked as the window checks it, then the update flow the window runs,
// with the window's exchanges, failure exits and service record.
#include <filesystem>
#include <system_error>

#include "cli/CommandRun.h"
#include "platform/Utf8Path.h"

namespace qor::cli {

TStep<std::optional<TCheckedImage>> TCommandRun::LocalImage() {
    if (Options.Download) {
        return std::optional<TCheckedImage>();
    }
    auto checked = CheckImageFile(Options.File);
    if (!checked) {
        const TFailed invalid = InvalidImage(checked.Error().Reason);
        return Fail(TReported{Finish(invalid.Exit, invalid.Event)});
    }
    // The record names the file wherever the command was started from.
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(PathOfUtf8(Options.File), ignored);
    return std::optional(TCheckedImage{std::move(checked.Value()),
                                       absolute.empty() ? Options.File : Utf8OfPath(absolute)});
}

TStep<TCheckedImage> TCommandRun::DownloadedImage() {
    const auto kind = KindToFetch(ConnectedVariant(Connector.Monitor()));
    if (!kind) {
        return Fail(TReported{Finish(kind.Error().Exit, kind.Error().Event)});
    }
    auto checked = FetchChecked(*kind);
    if (!checked) {
        return Fail(TReported{Finish(checked.Error().Exit, checked.Error().Event)});
    }
    return std::move(checked.Value());
}

int TCommandRun::Flash() {
    if (Options.All) {
        return FlashAll();
    }
    auto loaded = LocalImage();
    if (!loaded) {
        return loaded.Error().Exit;
    }
    std::optional<TCheckedImage>& local = loaded.Value();
    if (const auto connected = ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    auto checked = local ? TStep<TCheckedImage>(std::move(*local)) : DownloadedImage();
    if (!checked) {
        return checked.Error().Exit;
    }
    const TDeviceUpdatePlan plan{Options.PowerOffAfter, Options.SkipCurrent, Options.Retries,
                                 [this] {
                                     return ReconnectSameUnit(Connector, Options.Wait);
                                 }};
    return UpdateDevice(Connector.Monitor(), *checked, plan, Language(), Services, Report).Exit;
}

} // namespace qor::cli
