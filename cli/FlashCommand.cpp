// flash: the image checked as the window checks it, the fit with the device that answers,
// then the update session with the window's exchanges and failure exits.
#include <chrono>
#include <filesystem>
#include <system_error>

#include "base/Windows1252.h"
#include "cli/CommandRun.h"
#include "cli/Format.h"
#include "device/UpdateSession.h"
#include "presenter/DeviceSummary.h"
#include "presenter/ImageChecks.h"
#include "presenter/UpdateRun.h"

namespace qor::cli {
namespace {

// Between the blocks the window's serial timer keeps ticking: the port stays current, so a
// device that went away fails the next exchange; the keep-alive stays off the wire.
class TFlashObserver : public IUpdateObserver {
public:
    TFlashObserver(TConnectionMonitor& monitor, TCliServices& services, IReporter& report,
                   std::string label, std::size_t blocks)
        : Monitor(monitor), Services(services), Report(report), Label(std::move(label)),
          Blocks(blocks), LastTick(services.Clock.Now()) {}

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
    std::string Label;
    std::uint64_t Blocks;
    std::uint64_t Written = 0;
    TMs LastTick;
};

} // namespace

int TCommandRun::Flash() {
    std::optional<TFirmwareImage> image;
    std::string source;
    if (!Options.Download) {
        auto checked = CheckImageFile(Options.File);
        if (!checked) {
            return InvalidImage(checked.Error().Reason);
        }
        image = std::move(checked.Value());
        // The record names the file wherever the command was started from.
        std::error_code ignored;
        const std::filesystem::path absolute = std::filesystem::absolute(Options.File, ignored);
        source = absolute.empty() ? Options.File : absolute.string();
    }
    int exit = 0;
    if (!ConnectDevice(exit)) {
        return exit;
    }
    TConnectionMonitor& monitor = Connector.Monitor();
    const std::optional<TDeviceVariant> device = ConnectedVariant(monitor);
    if (Options.Download) {
        auto body = Fetch(device->Number(), source, exit);
        if (!body) {
            return exit;
        }
        auto checked = CheckImageBytes(std::move(*body));
        if (!checked) {
            return InvalidImage(checked.Error().Reason);
        }
        image = std::move(checked.Value());
    }
    TServiceRecord record;
    record.Port = monitor.Link().PortName();
    record.Before = monitor.Info();
    record.ImageName = ShownFileName(source);
    record.ImageSource = source;
    record.ImageVersion = image->Version();
    record.ImageCrc = image->Crc();
    record.ImageSize = image->Size();
    if (const auto refusal = CheckImageFits(*image, ConnectedVariant(monitor))) {
        // Refused before anything is sent; the log keeps the attempt, as the window's does.
        record.Time = std::chrono::system_clock::now();
        record.After = monitor.Info();
        record.Outcome.Result = TUpdateResult::Refused;
        record.Outcome.Refusal = refusal->Reason;
        Services.Record.Record(record);
        return DoesNotFit(*image, *refusal, device);
    }

    const std::string version = Windows1252ToUtf8(image->Version());
    TEvent loaded{
        "image",
        {std::string(Text(TxtFirmwareLoaded)) + " " + ShownFileName(source) + " " + version},
        {},
        false};
    loaded.Fields.Add("source", source).Add("version", version);
    loaded.Fields.Add("size", static_cast<std::int64_t>(image->Size()));
    loaded.Fields.Add("crc", Hex32(image->Crc()));
    Report.Event(loaded);

    const auto started = std::chrono::steady_clock::now();

    const std::size_t blocks = image->Size() / TDeviceVariant::WriteBlockSize;
    TFlashObserver observer(monitor, Services, Report, Text(TxtUpdating), blocks);
    TUpdateSession session(monitor.Link(), monitor.Bootloader(), monitor.Info());
    const TUpdateOutcome outcome = session.Run(image->Bytes(), observer);
    const TDeviceInfo& after = monitor.Info();

    TEvent result;
    result.Fields.Add("blocks_written", static_cast<std::int64_t>(outcome.BlocksWritten));
    switch (outcome.Result) {
    case TUpdateResult::Succeeded: {
        exit = ExitCode(TExit::Success);
        const TDeviceSummary summary = SummariseDevice(after);
        result.Lines = {Text(TxtUpdateSucceeded),
                        std::string(Text(TxtFirmwareVersion)) + ": " + summary.FirmwareVersion};
        result.Fields.Add("firmware_version", summary.FirmwareVersion);
        break;
    }
    case TUpdateResult::ChecksumsDiffer:
        exit = ExitCode(TExit::ChecksumsDiffer);
        result.Lines = {Text(TxtUpdateFailed),
                        "the device's checksums differ: " + Hex32(after.DeviceChecksum1) + " / " +
                            Hex32(after.DeviceChecksum2)};
        result.Fields.Add("checksum1", Hex32(after.DeviceChecksum1));
        result.Fields.Add("checksum2", Hex32(after.DeviceChecksum2));
        break;
    case TUpdateResult::Failed: {
        const TUpdateFailure& failure = *outcome.Failure;
        exit = UpdateFailureExitCode(failure.Exit());
        const std::string reason = failure.Error.Describe();
        result.Lines = {Text(TxtUpdateFailed), UpdateFailureMessage(failure), reason};
        result.Fields.Add("failure_exit", failure.ExitText()).Add("reason", reason);
        if (failure.Step == TUpdateStep::WriteBlock) {
            result.Fields.Add("block", static_cast<std::int64_t>(failure.Block));
        }
        break;
    }
    case TUpdateResult::Stopped:
        exit = ExitCode(TExit::Interrupted);
        result.Lines = {Text(TxtCancelled)};
        break;
    case TUpdateResult::Refused:
        exit = ExitCode(TExit::ImageDoesNotFit);
        result.Lines = {Text(TxtInvalidFirmware), outcome.Refusal};
        result.Fields.Add("reason", outcome.Refusal);
        break;
    }
    record.Time = std::chrono::system_clock::now();
    record.After = after;
    record.Outcome = outcome;
    record.Duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    Services.Record.Record(record);

    if (exit == ExitCode(TExit::Success) && Options.PowerOffAfter) {
        const bool acknowledged = monitor.Bootloader().PowerOff().Ok();
        TEvent off{"power-off", {Text(TxtPowerOff)}, {}, false};
        off.Fields.Add("acknowledged", acknowledged);
        Report.Event(off);
    }
    return Finish(exit, std::move(result));
}

} // namespace qor::cli
