#include "presenter/UpdateRun.h"

#include "base/FixedTexts.h"
#include "base/TextTable.h"

namespace qor {

TUpdateRun::TUpdateRun(TMainModel& model, TConnectionMonitor& monitor, IUpdateHost& host,
                       IMessageBox& messages, IServiceRecorder* recorder)
    : Model(model), Monitor(monitor), Host(host), Messages(messages), Recorder(recorder) {
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
    Model.UpdateFailed = false;
    Model.UpdateSucceeded = false;
    Model.UpdateRunning = true;
    SetControlsEnabled(false);
    Model.View.PBFW = 0;
    Pump();

    const TUpdateFlowResult run =
        RunUpdateFlow(Monitor, image, {Model.FWFilename, Model.FWSource}, *this, Recorder);
    Model.RecordFailure = run.Recorded ? std::string() : run.Recorded.Error().Reason;
    const TUpdateOutcome& outcome = run.Outcome;
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
