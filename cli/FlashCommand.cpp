#include "cli/FlashCommand.h"

#include "cli/DeviceUpdate.h"
#include "cli/ImageSources.h"

namespace qor::cli {

TStep<TCheckedImage> TFlashCommand::DownloadedImage() {
    const auto kind = KindToFetch(ConnectedVariant(Context.Connector().Monitor()));
    if (!kind) {
        return Fail(TReported{Context.Finish(kind.Error().Exit, kind.Error().Event)});
    }
    auto checked = FetchCheckedImage(Context, *kind);
    if (!checked) {
        return Fail(TReported{Context.Finish(checked.Error().Exit, checked.Error().Event)});
    }
    return std::move(checked.Value());
}

int TFlashCommand::Run() {
    auto loaded = LocalImage(Context);
    if (!loaded) {
        return loaded.Error().Exit;
    }
    std::optional<TCheckedImage>& local = loaded.Value();
    if (const auto connected = Context.ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    auto checked = local ? TStep<TCheckedImage>(std::move(*local)) : DownloadedImage();
    if (!checked) {
        return checked.Error().Exit;
    }
    const TCliOptions& options = Context.Options;
    TDeviceConnector& connector = Context.Connector();
    const TDeviceUpdatePlan plan{options.PowerOffAfter, options.SkipCurrent, options.Retries,
                                 [&connector, &options] {
                                     return ReconnectSameUnit(connector, options.Wait);
                                 }};
    return UpdateDevice(connector.Monitor(), *checked, plan, Context.Language(), Context.Services,
                        Context.Report)
        .Exit;
}

} // namespace qor::cli
