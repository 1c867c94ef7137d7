#include "cli/DeviceUpdate.h"

#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "cli/DeviceConnect.h"
#include "cli/ExitCodes.h"
#include "cli/ResultEvent.h"
#include "device/Protocol.h"
#include "flow/DeviceSummary.h"
#include "flow/UpdateExit.h"
#include "flow/UpdateFlow.h"

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

    void Accepted() override {
        if (!Loaded.Name.empty()) {
            Report.Event(Loaded);
        }
    }
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

// How one attempt ended: its exit code and the result event that tells it.
struct TAttemptEnd {
    int Exit = 0;
    TEvent Event;
    const char* Outcome = nullptr; // in place of the exit code's own name
    std::uint32_t Attempt = 1;     // of at most Attempts
    std::uint32_t Attempts = 1;
};

TAttemptEnd DescribeAttempt(const TUpdateFlowResult& run, const TDeviceInfo& after,
                            std::uint8_t language) {
    const TUpdateOutcome& outcome = run.Outcome;
    TAttemptEnd end;
    TEvent& result = end.Event;
    result.Fields.Add("blocks_written", static_cast<std::int64_t>(outcome.BlocksWritten));
    const TDeviceSummary summary = SummariseDevice(after);
    if (run.Current) {
        result.Lines = {"The device already runs this image; nothing was written",
                        std::string(Txt(TxtFirmwareVersion, language)) + ": " +
                            summary.FirmwareVersion};
        result.Fields.Add("firmware_version", summary.FirmwareVersion);
        end.Outcome = CurrentOutcome;
        return end;
    }
    end.Exit = UpdateExitCode(outcome);
    switch (outcome.Result) {
    case TUpdateResult::Succeeded:
        result.Lines = {Txt(TxtUpdateSucceeded, language),
                        std::string(Txt(TxtFirmwareVersion, language)) + ": " +
                            summary.FirmwareVersion};
        result.Fields.Add("firmware_version", summary.FirmwareVersion);
        break;
    case TUpdateResult::ChecksumsDiffer:
        // Only checksums reported after the update tell a difference.
        result.Lines = {Txt(TxtUpdateFailed, language),
                        "the device's checksums differ: " + Hex32(after.DeviceChecksums->First) +
                            " / " + Hex32(after.DeviceChecksums->Second)};
        result.Fields.Add("checksum1", Hex32(after.DeviceChecksums->First));
        result.Fields.Add("checksum2", Hex32(after.DeviceChecksums->Second));
        break;
    case TUpdateResult::Failed: {
        const TUpdateFailure& failure = *outcome.Failure;
        const std::string reason = failure.Error.Describe();
        result.Lines = {Txt(TxtUpdateFailed, language), UpdateFailureMessage(failure), reason};
        result.Fields.Add("failure_exit", failure.ExitText()).Add("reason", reason);
        if (failure.Step == TUpdateStep::WriteBlock) {
            result.Fields.Add("block", static_cast<std::int64_t>(failure.Block));
        }
        break;
    }
    case TUpdateResult::Stopped:
        result.Lines = {Txt(TxtCancelled, language)};
        break;
    case TUpdateResult::Refused:
        result.Lines = {Txt(TxtInvalidFirmware, language), outcome.Refusal};
        result.Fields.Add("reason", outcome.Refusal);
        break;
    }
    return end;
}

// What may pass on a second try: an exchange that failed, a flash whose checksums came out
// differing. A refused image or a stop never changes by trying again.
bool WorthAnotherAttempt(const TUpdateFlowResult& run) {
    return !run.Current && (run.Outcome.Result == TUpdateResult::Failed ||
                            run.Outcome.Result == TUpdateResult::ChecksumsDiffer);
}

// Tells a failed attempt that another one follows: its lines but the first ("Update
// failed!"), and its exit code and outcome.
void ReportFailedAttempt(IReporter& report, const TAttemptEnd& failed) {
    TEvent event{"attempt",
                 {"Attempt " + std::to_string(failed.Attempt) + " of " +
                  std::to_string(failed.Attempts) + " failed"},
                 {},
                 true};
    event.Lines.insert(event.Lines.end(), failed.Event.Lines.begin() + 1, failed.Event.Lines.end());
    event.Fields.Add("exit", failed.Exit).Add("outcome", OutcomeName(failed.Exit));
    event.Fields.Merge(failed.Event.Fields);
    report.Event(event);
}

// After an attempt that may pass next time: tells of it and waits for the unit to answer
// again; true when it did. Otherwise `told` becomes the run's result: the attempt's own, or a
// stop's when the user stopped before or while waiting.
bool AnotherAttempt(TAttemptEnd& told, const TDeviceUpdatePlan& plan, TCliServices& services,
                    std::uint8_t language, IReporter& report) {
    const auto stopped = [&services] {
        return services.Interrupted && services.Interrupted();
    };
    if (stopped()) {
        return false; // no attempt after a stop: the run ends with this one
    }
    ReportFailedAttempt(report, told);
    if (plan.Reconnect && plan.Reconnect()) {
        return true;
    }
    if (stopped()) {
        told.Exit = ExitCode(TExit::Interrupted);
        told.Event = TEvent{"", {Txt(TxtCancelled, language)}, {}, true};
        told.Event.Fields.Add("attempt", told.Attempt).Add("attempts", told.Attempts);
    } else {
        told.Event.Lines.push_back("no further attempt: the device did not answer again");
    }
    return false;
}

// The last attempt's result, after switching the device off when asked to and it runs the
// image now, written or already current.
int ReportLastAttempt(TAttemptEnd last, TConnectionMonitor& monitor, bool powerOffAfter,
                      std::uint8_t language, IReporter& report) {
    if (last.Exit == ExitCode(TExit::Success) && powerOffAfter) {
        const bool acknowledged = monitor.Bootloader().PowerOff().Ok();
        TEvent off{"power-off", {Txt(TxtPowerOff, language)}, {}, false};
        off.Fields.Add("acknowledged", acknowledged);
        report.Event(off);
    }
    return ReportResult(report, last.Exit, std::move(last.Event), last.Outcome);
}

// The update stands as it ended; the technician learns that its record is missing.
void ReportUnrecorded(const TUpdateFlowResult& run, IReporter& report) {
    if (run.Recorded) {
        return;
    }
    const std::string reason = "the service record was not kept: " + run.Recorded.Error().Reason;
    TEvent unrecorded{"record", {reason}, {}, true};
    unrecorded.Fields.Add("reason", run.Recorded.Error().Reason);
    report.Event(unrecorded);
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

TEvent ImageLoadedEvent(const TCheckedImage& image, std::uint8_t language) {
    const TFirmwareImage& firmware = image.Image;
    const std::string version = Windows1252ToUtf8(firmware.Version());
    TEvent loaded{"image",
                  {std::string(Txt(TxtFirmwareLoaded, language)) + " " +
                   ShownFileName(image.Source) + " " + version},
                  {},
                  false};
    loaded.Fields.Add("source", image.Source).Add("version", version);
    loaded.Fields.Add("size", static_cast<std::int64_t>(firmware.Size()));
    loaded.Fields.Add("crc", Hex32(firmware.Crc()));
    return loaded;
}

TDeviceUpdateEnd UpdateDevice(TConnectionMonitor& monitor, const TCheckedImage& image,
                              const TDeviceUpdatePlan& plan, std::uint8_t language,
                              TCliServices& services, IReporter& report) {
    const TFirmwareImage& firmware = image.Image;
    const std::string name = ShownFileName(image.Source);
    const TEvent loaded = ImageLoadedEvent(image, language);

    const std::uint32_t attempts = 1 + plan.Retries;
    TDeviceUpdateEnd end;
    for (std::uint32_t attempt = 1;; ++attempt) {
        std::string label = Txt(TxtUpdating, language);
        if (attempt > 1) {
            label += ", attempt " + std::to_string(attempt) + " of " + std::to_string(attempts);
        }
        // The image is told of once, however many attempts write it.
        TFlashObserver observer(monitor, services, report, attempt == 1 ? loaded : TEvent{}, label,
                                firmware.Size() / BlockSize);
        const TUpdateFlowResult run =
            RunUpdateFlow(monitor, firmware, {name, image.Source}, observer, &services.Record,
                          {plan.SkipCurrent, attempt, attempts});
        ReportUnrecorded(run, report);
        end.Attempts = attempt;
        end.Current = run.Current;
        // The update leaves only what its read-back reported; nothing sent, what was there.
        end.FirmwareAfter = SummariseDevice(monitor.Info()).FirmwareVersion;
        if (run.Rejection) {
            end.Exit = ReportDoesNotFit(report, language, firmware, *run.Rejection,
                                        ConnectedVariant(monitor));
            return end;
        }
        TAttemptEnd told = DescribeAttempt(run, monitor.Info(), language);
        told.Attempt = attempt;
        told.Attempts = attempts;
        if (plan.Retries > 0) {
            told.Event.Fields.Add("attempt", attempt).Add("attempts", attempts);
        }
        if (attempt < attempts && WorthAnotherAttempt(run) &&
            AnotherAttempt(told, plan, services, language, report)) {
            continue;
        }
        end.Exit =
            ReportLastAttempt(std::move(told), monitor, plan.PowerOffAfter, language, report);
        return end;
    }
}

bool ReconnectSameUnit(TDeviceConnector& connector, TMs wait) {
    TDeviceLink& link = connector.Monitor().Link();
    if (!link.PortSerial().empty()) {
        link.ChooseSerials({link.PortSerial()});
    } else {
        link.ChoosePort(link.PortName());
    }
    // Asked afresh: what the last attempt left in the flash is the next one's "before".
    return connector.Connect(std::nullopt, wait, {}).Ok() && connector.Monitor().QueryBootloader();
}

} // namespace qor::cli
