#include "cli/DownloadCommand.h"

#include "base/Windows1252.h"
#include "cli/ImageSources.h"
#include "flow/ServiceRecord.h"
#include "platform/TempDir.h"

namespace qor::cli {
namespace {

// The file name of the variant's image on the server: "qor-7316-a.bin".
std::string ServerFileName(TVariantKind variant) {
    const std::string path = DownloadPathOf(variant);
    return path.substr(path.rfind('/') + 1);
}

} // namespace

int TDownloadCommand::Run() {
    const TCliOptions& options = Context.Options;
    if (!options.Variant) {
        if (const auto connected = Context.ConnectDevice(); !connected) {
            return connected.Error().Exit;
        }
    }
    const TConnectedVariant target =
        options.Variant ? TConnectedVariant(*TDeviceVariant::FromLetter(*options.Variant))
                        : ConnectedVariant(Context.Connector().Monitor());
    const auto kind = KindToFetch(target);
    if (!kind) {
        return Context.Finish(kind.Error().Exit, kind.Error().Event);
    }
    auto checked = FetchCheckedImage(Context, *kind);
    if (!checked) {
        return Context.Finish(checked.Error().Exit, checked.Error().Event);
    }
    const TFirmwareImage& image = checked->Image;
    if (const auto fits = ImageFits(image, target); !fits) {
        return ReportDoesNotFit(Context.Report, Context.Language(), image, fits.Error(), target);
    }
    const std::string path = options.Out.value_or(ServerFileName(target->Kind()));
    if (const auto written = WriteFileAtomically(path, image.Bytes()); !written) {
        const std::string& error = written.Error().Reason;
        TEvent event{"", {Context.Text(TxtDownloadFailed), error}, {}, true};
        event.Fields.Add("reason", error);
        return Context.Finish(TExit::DownloadFailed, std::move(event));
    }
    const std::string version = Windows1252ToUtf8(image.Version());
    TEvent event{"", {Context.Text(TxtDownloadSucceeded), path + " " + version}, {}, false};
    event.Fields.Add("file", path).Add("version", version);
    event.Fields.Add("size", static_cast<std::int64_t>(image.Size()));
    event.Fields.Add("crc", Hex32(image.Crc()));
    return Context.Finish(TExit::Success, std::move(event));
}

} // namespace qor::cli
