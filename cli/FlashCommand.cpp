// flash: the image checked as the window checks it, then the update flow the window runs,
// with the window's exchanges, failure exits and service record.
#include <filesystem>
#include <system_error>

#include "base/Windows1252.h"
#include "cli/CommandRun.h"
#include "cli/Format.h"
#include "platform/Utf8Path.h"
#include "presenter/DeviceSummary.h"
#include "presenter/UpdateFlow.h"

namespace qor::cli {
namespace {

// Between the blocks the window's serial timer keeps ticking: the port stays current, so a
// device that went away fails the next exchange; the keep-alive stays off the wire.
class TFlashObserver : public IUpdateFlowObserver {
public:
    TFlashObserver(TConnectionMonitor& monitor, TCliServices& services, IReporter& report,
                   TEvent loaded, std::string label, std::size_t blocks)
        : Monitor(monitor), Services(services), Report(report), Loaded(std::move(loaded)),
          Label(std::move(label)), Blocks(blocks), LastTick(services.Clock.Now()) {}

    void Accepted() override { Report.Event(Loaded); }
    void Pump() override {
        const TMs now = Services.Clock.Now();
        if (now - LastTick >= MonitorTickInterval) {
            Monitor.Tick(true);
            LastTick = now;
        }
    }
    bool StopRequested() override { return Services.Interrupted && Services.Interrupted(); }
    void Progress(int thousandths) override {
        TProgress progress{"write", Label, ++Written, Blocks, "blocks", {}};
        progress.Fields.Add("block", static_cast<std::int64_t>(Written - 1));
        progress.Fields.Add("permille", thousandths);
        Report.Progress(progress);
    }

private:
    TConnectionMonitor& Monitor;
    TCliServices& Services;
    IReporter& Report;
    TEvent Loaded;
    std::string Label;
    std::uint64_t Blocks;
    std::uint64_t Written = 0;
    TMs LastTick;
};

} // namespace

TStep<TCheckedImage> TCommandRun::LocalImage() {
    auto checked = CheckImageFile(Options.File);
    if (!checked) {
        return Fail(TReported{InvalidImage(checked.Error().Reason)});
    }
    // The record names the file wherever the command was started from.
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(PathOfUtf8(Options.File), ignored);
    return TCheckedImage{std::move(checked.Value()),
                         absolute.empty() ? Options.File : Utf8OfPath(absolute)};
}

TStep<TCheckedImage> TCommandRun::DownloadedImage() {
    auto fetched = Fetch(ConnectedVariant(Connector.Monitor())->Kind());
    if (!fetched) {
        return Fail(fetched.Error());
    }
    auto checked = CheckImageBytes(std::move(fetched->Body));
    if (!checked) {
        return Fail(TReported{InvalidImage(checked.Error().Reason)});
    }
    return TCheckedImage{std::move(checked.Value()), fetched->Source};
}

int TCommandRun::FinishUpdate(const TUpdateOutcome& outcome) {
    const TDeviceInfo& after = Connector.Monitor().Info();
    TEvent result;
    result.Fields.Add("blocks_written", static_cast<std::int64_t>(outcome.BlocksWritten));
    switch (outcome.Result) {
    case TUpdateResult::Succeeded: {
        const TDeviceSummary summary = SummariseDevice(after);
        result.Lines = {Text(TxtUpdateSucceeded),
                        std::string(Text(TxtFirmwareVersion)) + ": " + summary.FirmwareVersion};
        result.Fields.Add("firmware_version", summary.FirmwareVersion);
        if (Options.PowerOffAfter) {
            const bool acknowledged = Connector.Monitor().Bootloader().PowerOff().Ok();
            TEvent off{"power-off", {Text(TxtPowerOff)}, {}, false};
            off.Fields.Add("acknowledged", acknowledged);
            Report.Event(off);
        }
        return Finish(TExit::Success, std::move(result));
    }
    case TUpdateResult::ChecksumsDiffer:
        result.Lines = {Text(TxtUpdateFailed),
                        "the device's checksums differ: " + Hex32(after.DeviceChecksum1) + " / " +
                            Hex32(after.DeviceChecksum2)};
        result.Fields.Add("checksum1", Hex32(after.DeviceChecksum1));
        result.Fields.Add("checksum2", Hex32(after.DeviceChecksum2));
        return Finish(TExit::ChecksumsDiffer, std::move(result));
    case TUpdateResult::Failed: {
        const TUpdateFailure& failure = *outcome.Failure;
        const std::string reason = failure.Error.Describe();
        result.Lines = {Text(TxtUpdateFailed), UpdateFailureMessage(failure), reason};
        result.Fields.Add("failure_exit", failure.ExitText()).Add("reason", reason);
        if (failure.Step == TUpdateStep::WriteBlock) {
            result.Fields.Add("block", static_cast<std::int64_t>(failure.Block));
        }
        return Finish(UpdateFailureExitCode(failure.Exit()), std::move(result));
    }
    case TUpdateResult::Stopped:
        result.Lines = {Text(TxtCancelled)};
        return Finish(TExit::Interrupted, std::move(result));
    case TUpdateResult::Refused:
        break;
    }
    result.Lines = {Text(TxtInvalidFirmware), outcome.Refusal};
    result.Fields.Add("reason", outcome.Refusal);
    return Finish(TExit::ImageDoesNotFit, std::move(result));
}

int TCommandRun::Flash() {
    std::optional<TCheckedImage> local;
    if (!Options.Download) {
        auto loaded = LocalImage();
        if (!loaded) {
            return loaded.Error().Exit;
        }
        local = std::move(loaded.Value());
    }
    if (const auto connected = ConnectDevice(); !connected) {
        return connected.Error().Exit;
    }
    auto checked = local ? TStep<TCheckedImage>(std::move(*local)) : DownloadedImage();
    if (!checked) {
        return checked.Error().Exit;
    }
    const TFirmwareImage& image = checked->Image;
    const std::string& source = checked->Source;
    const std::string version = Windows1252ToUtf8(image.Version());
    TEvent loaded{
        "image",
        {std::string(Text(TxtFirmwareLoaded)) + " " + ShownFileName(source) + " " + version},
        {},
        false};
    loaded.Fields.Add("source", source).Add("version", version);
    loaded.Fields.Add("size", static_cast<std::int64_t>(image.Size()));
    loaded.Fields.Add("crc", Hex32(image.Crc()));

    TConnectionMonitor& monitor = Connector.Monitor();
    TFlashObserver observer(monitor, Services, Report, std::move(loaded), Text(TxtUpdating),
                            image.Size() / BlockSize);
    const TUpdateFlowResult run =
        RunUpdateFlow(monitor, image, {ShownFileName(source), source}, observer, &Services.Record);
    if (run.Rejection) {
        return DoesNotFit(image, *run.Rejection, ConnectedVariant(monitor));
    }
    return FinishUpdate(run.Outcome);
}

} // namespace qor::cli
