#include "cli/DeviceUpdate.h"

#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "cli/DeviceConnect.h"
#include "cli/ExitCodes.h"
#include "cli/ResultEvent.h"
#include "device/Protocol.h"
#include "presenter/DeviceSummary.h"
#include "presenter/MainView.h"
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

// The result event of an update that was begun, with its exit code.
int FinishUpdate(const TUpdateOutcome& outcome, TConnectionMonitor& monitor, bool powerOffAfter,
                 std::uint8_t language, IReporter& report) {
    const TDeviceInfo& after = monitor.Info();
    TEvent result;
    result.Fields.Add("blocks_written", static_cast<std::int64_t>(outcome.BlocksWritten));
    switch (outcome.Result) {
    case TUpdateResult::Succeeded: {
        const TDeviceSummary summary = SummariseDevice(after);
        result.Lines = {Txt(TxtUpdateSucceeded, language),
                        std::string(Txt(TxtFirmwareVersion, language)) + ": " +
                            summary.FirmwareVersion};
        result.Fields.Add("firmware_version", summary.FirmwareVersion);
        if (powerOffAfter) {
            const bool acknowledged = monitor.Bootloader().PowerOff().Ok();
            TEvent off{"power-off", {Txt(TxtPowerOff, language)}, {}, false};
            off.Fields.Add("acknowledged", acknowledged);
            report.Event(off);
        }
        return ReportResult(report, ExitCode(TExit::Success), std::move(result));
    }
    case TUpdateResult::ChecksumsDiffer:
        // Only checksums reported after the update tell a difference.
        result.Lines = {Txt(TxtUpdateFailed, language),
                        "the device's checksums differ: " + Hex32(after.DeviceChecksums->First) +
                            " / " + Hex32(after.DeviceChecksums->Second)};
        result.Fields.Add("checksum1", Hex32(after.DeviceChecksums->First));
        result.Fields.Add("checksum2", Hex32(after.DeviceChecksums->Second));
        return ReportResult(report, ExitCode(TExit::ChecksumsDiffer), std::move(result));
    case TUpdateResult::Failed: {
        const TUpdateFailure& failure = *outcome.Failure;
        const std::string reason = failure.Error.Describe();
        result.Lines = {Txt(TxtUpdateFailed, language), UpdateFailureMessage(failure), reason};
        result.Fields.Add("failure_exit", failure.ExitText()).Add("reason", reason);
        if (failure.Step == TUpdateStep::WriteBlock) {
            result.Fields.Add("block", static_cast<std::int64_t>(failure.Block));
        }
        return ReportResult(report, UpdateFailureExitCode(failure.Exit()), std::move(result));
    }
    case TUpdateResult::Stopped:
        result.Lines = {Txt(TxtCancelled, language)};
        return ReportResult(report, ExitCode(TExit::Interrupted), std::move(result));
    case TUpdateResult::Refused:
        break;
    }
    result.Lines = {Txt(TxtInvalidFirmware, language), outcome.Refusal};
    result.Fields.Add("reason", outcome.Refusal);
    return ReportResult(report, ExitCode(TExit::ImageDoesNotFit), std::move(result));
}

} // namespace

int ReportDoesNotFit(IReporter& report, std::uint8_t language, const TFirmwareImage& image,
                     const TImageRejection& refusal, const TConnectedVariant& device) {
    const auto imageLetter = static_cast<char>(image.VariantLetter());
    std::string deviceVariant = "unknown";
    if (device) {
        const auto letter = device->Letter();
        deviceVariant = letter ? std::string(1, *letter) : std::string("other");
    }
    std::string reason = refusal.Reason;
    if (refusal.Fit == TFitFault::WrongVariant) {
        reason += " (image '" + Windows1252ToUtf8(std::string(1, imageLetter)) + "', device " +
                  deviceVariant + ")";
    }
    TEvent event{"", {Txt(TxtInvalidFirmware, language), reason}, {}, true};
    event.Fields.Add("reason", reason).Add("device_variant", deviceVariant);
    return ReportResult(report, ExitCode(TExit::ImageDoesNotFit), std::move(event));
}

TDeviceUpdateEnd UpdateDevice(TConnectionMonitor& monitor, const TCheckedImage& image,
                              bool powerOffAfter, std::uint8_t language, TCliServices& services,
                              IReporter& report) {
    const TFirmwareImage& firmware = image.Image;
    const std::string version = Windows1252ToUtf8(firmware.Version());
    const std::string name = ShownFileName(image.Source);
    TEvent loaded{"image",
                  {std::string(Txt(TxtFirmwareLoaded, language)) + " " + name + " " + version},
                  {},
                  false};
    loaded.Fields.Add("source", image.Source).Add("version", version);
    loaded.Fields.Add("size", static_cast<std::int64_t>(firmware.Size()));
    loaded.Fields.Add("crc", Hex32(firmware.Crc()));

    TFlashObserver observer(monitor, services, report, std::move(loaded),
                            Txt(TxtUpdating, language), firmware.Size() / BlockSize);
    const TUpdateFlowResult run =
        RunUpdateFlow(monitor, firmware, {name, image.Source}, observer, &services.Record);
    if (!run.Recorded) {
        // The update stands as it ended; the technician learns that its record is missing.
        const std::string reason =
            "the service record was not kept: " + run.Recorded.Error().Reason;
        TEvent unrecorded{"record", {reason}, {}, true};
        unrecorded.Fields.Add("reason", run.Recorded.Error().Reason);
        report.Event(unrecorded);
    }
    TDeviceUpdateEnd end;
    // The update leaves only what its read-back reported, and a refusal what was there.
    end.FirmwareAfter = SummariseDevice(monitor.Info()).FirmwareVersion;
    end.Exit = run.Rejection ? ReportDoesNotFit(report, language, firmware, *run.Rejection,
                                                ConnectedVariant(monitor))
                             : FinishUpdate(run.Outcome, monitor, powerOffAfter, language, report);
    return end;
}

} // namespace qor::cli
