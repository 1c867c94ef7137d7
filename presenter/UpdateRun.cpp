#include "presenter/UpdateRun.h"

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "presenter/ImageChecks.h"

namespace qor {

std::string UpdateFailureMessage(const TUpdateFailure& failure) {
    return UpdateFailedPrefix + failure.ExitText();
}

TUpdateRun::TUpdateRun(TMainModel& model, TConnectionMonitor& monitor, IUpdateHost& host,
                       IMessageBox& messages, IServiceRecorder* recorder)
    : Model(model), Monitor(monitor), Host(host), Messages(messages), Recorder(recorder) {
}

void TUpdateRun::Record(const TFirmwareImage& image, const TDeviceInfo& before,
                        const TUpdateOutcome& outcome,
                        std::chrono::steady_clock::time_point start) {
    if (Recorder == nullptr) {
        return;
    }
    TServiceRecord record;
    record.Time = std::chrono::system_clock::now();
    record.Port = Monitor.Link().PortName();
    record.Before = before;
    record.After = Monitor.Info();
    record.ImageName = Model.FWFilename;
    record.ImageSource = Model.FWSource;
    record.ImageSize = image.Size();
    record.ImageCrc = image.Crc();
    record.ImageVersion = image.Version();
    record.Outcome = outcome;
    record.Duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    Recorder->Record(record);
}

void TUpdateRun::Pump() {
    Host.ProcessMessages();
}

void TUpdateRun::PumpWhileWaiting() {
    Host.ProcessMessagesWhileWaiting();
}

void TUpdateRun::SetControlsEnabled(bool enabled) {
    Model.View.BFlash = enabled;
    Model.View.BSwitchOff = enabled;
    Model.View.GBFWFile = enabled;
}

void TUpdateRun::Finish() {
    SetControlsEnabled(true);
    Model.UpdateRunning = false;
}

TUpdateOutcome TUpdateRun::Run(std::uint8_t language) {
    if (Model.UpdateRunning || !Model.FWImage) {
        return {};
    }
    // Our own copy: the connection monitor may discard the image between two blocks.
    const TFirmwareImage image = *Model.FWImage;
    const auto start = std::chrono::steady_clock::now();
    const TDeviceInfo before = Monitor.Info();
    Model.UpdateFailed = false;
    Model.UpdateSucceeded = false;
    Model.UpdateRunning = true;
    SetControlsEnabled(false);
    Model.View.PBFW = 0;
    Pump();

    // The device may have been swapped since the image was loaded: it must still fit the
    // device that answers now, or nothing is sent.
    TUpdateOutcome outcome;
    if (const auto rejection = CheckImageFits(image, ConnectedVariant(Monitor))) {
        outcome.Refusal = rejection->Reason;
    } else {
        TUpdateSession session(Monitor.Link(), Monitor.Bootloader(), Monitor.Info());
        outcome = session.Run(image.Bytes(), *this);
    }
    // Recorded before any box: the record must not wait for the user to read it.
    Record(image, before, outcome, start);
    switch (outcome.Result) {
    case TUpdateResult::Failed:
        // The box is shown while the update still counts as running, as the timers go on.
        Messages.ShowMessage(UpdateFailureMessage(*outcome.Failure), FixedErrorCaption);
        Model.UpdateFailed = true;
        break;
    case TUpdateResult::ChecksumsDiffer:
        Model.UpdateFailed = true;
        break;
    case TUpdateResult::Refused:
        Model.DiscardImage();
        Messages.ShowMessage(Txt(TxtInvalidFirmware, language), Txt(TxtError, language));
        break;
    case TUpdateResult::Succeeded:
    case TUpdateResult::Stopped:
        break;
    }
    Finish();
    if (outcome.Result == TUpdateResult::Succeeded) {
        Model.UpdateSucceeded = true;
    }
    return outcome;
}

} // namespace qor
