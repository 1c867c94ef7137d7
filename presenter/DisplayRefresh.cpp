#include "presenter/DisplayRefresh.h"

#include <array>
#include <string>

#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "flow/DeviceSummary.h"

namespace qor {

namespace {

// Steps of the three-step guide, as held in TMainModel::Step.
constexpr std::int32_t StepConnect = 0;
constexpr std::int32_t StepLoad = 1;
constexpr std::int32_t StepUpdate = 2;

constexpr std::uint32_t AnimCounterMax = 39;

// The indicator-mark animation: which marks a phase shows, and the length of the phase that
// follows it (loaded when this one ends).
struct THintPhase {
    bool Clamp30;
    bool HVRelay;
    bool Power;
    std::int32_t NextLength;
};

constexpr std::array<THintPhase, 6> HintPhases = {{
    {false, false, false, 10},
    {true, true, false, 5},
    {true, true, true, 40},
    {true, true, false, 10},
    {false, false, false, 10},
    {false, false, false, 5},
}};
constexpr std::int32_t HintResetLength = 10;

void ShowFilePanel(const TMainModel& model, std::uint8_t language, TMainView& view) {
    if (model.FWLoaded()) {
        view.LFWFileStatus = {Txt(TxtFirmwareLoaded, language), TColour::Green};
        view.LFWFilename.Text = model.FWFilename;
        view.LFWVersion.Text = Windows1252ToUtf8(model.FWVersion);
    } else {
        view.LFWFileStatus = {Txt(TxtNoFirmwareLoaded, language), TColour::Maroon};
        view.LFWFilename.Text = UnknownValue;
        view.LFWVersion.Text = UnknownValue;
    }
}

void ShowResult(const TMainModel& model, std::uint8_t language, TMainView& view) {
    if (model.UpdateSucceeded) {
        view.ImgSuccess = true;
        view.LFlashStatus = {Txt(TxtUpdateSucceeded, language), TColour::Green};
    } else if (model.UpdateFailed) {
        view.ImgSuccess = false;
        view.LFlashStatus = {Txt(TxtUpdateFailed, language), TColour::Maroon};
    } else if (!model.UpdateRunning) {
        view.LFlashStatus.Text.clear();
        view.ImgSuccess = false;
    }
}

void ShowRunningUpdate(TMainModel& model, std::uint8_t language) {
    TMainView& view = model.View;
    if (model.BlinkCountdown == 0) {
        view.ImgFlash = !view.ImgFlash;
        view.ImgSearch = false;
        view.ImgNotConnected = false;
        view.ImgSuccess = false;
        model.BlinkCountdown = BlinkReload;
    }
    std::string text = Txt(TxtUpdating, language);
    text.append(model.AnimCounter / AnimTicksPerDot, '.');
    view.LFlashStatus = {std::move(text), TColour::Green};
}

void HighlightStep(const TMainModel& model, bool bootloaderReady, TMainView& view) {
    view.L1 = model.Step == StepConnect ? TColour::WindowText : TColour::Grey;
    view.L2 = model.Step == StepLoad ? TColour::WindowText : TColour::Grey;
    view.L3 = model.Step == StepUpdate ? TColour::WindowText : TColour::Grey;

    const bool usable = bootloaderReady && !model.UpdateRunning;
    if (model.Step == StepUpdate) {
        if (usable) {
            view.BFlash = true;
            view.BSwitchOff = true;
        }
        return;
    }
    // Without a loaded image there is nothing to write: Update stays off until step 3.
    view.BFlash = false;
    if (model.Step == StepLoad && usable) {
        view.BSwitchOff = true;
    }
}

void AnimateMarks(TMainModel& model, bool bootloaderReady) {
    TMainView& view = model.View;
    if (bootloaderReady) {
        model.HintPhase = 0;
        model.HintCountdown = HintResetLength;
        view.ShClamp30 = false;
        view.ShHVRelay = false;
        view.ShPower = false;
        return;
    }
    if (model.HintCountdown > 0) {
        --model.HintCountdown;
    }
    // A phase out of range (never set so by this code) restarts the cycle.
    if (model.HintPhase < 0 || model.HintPhase >= static_cast<std::int32_t>(HintPhases.size())) {
        model.HintPhase = 0;
    }
    const THintPhase& phase = HintPhases[static_cast<std::size_t>(model.HintPhase)];
    view.ShClamp30 = phase.Clamp30;
    view.ShHVRelay = phase.HVRelay;
    view.ShPower = phase.Power;
    if (model.HintCountdown == 0) {
        model.HintCountdown = phase.NextLength;
        model.HintPhase = (model.HintPhase + 1) % static_cast<std::int32_t>(HintPhases.size());
    }
}

} // namespace

void DisplayTimerTick(TMainModel& model, bool bootloaderReady, std::uint8_t language) {
    TMainView& view = model.View;

    view.BDownload = bootloaderReady;
    view.BOpenLocal = bootloaderReady;

    if (!bootloaderReady) {
        model.UpdateSucceeded = false;
        view.PBFW = 0;
        model.Step = StepConnect;
    } else {
        model.Step = model.FWLoaded() ? StepUpdate : StepLoad;
    }

    ShowFilePanel(model, language, view);
    ShowResult(model, language, view);

    if (model.BlinkCountdown > 0) {
        --model.BlinkCountdown;
    }
    if (model.UpdateRunning) {
        ShowRunningUpdate(model, language);
    }

    ++model.AnimCounter;
    if (model.AnimCounter > AnimCounterMax) {
        model.AnimCounter = 0;
    }

    HighlightStep(model, bootloaderReady, view);
    AnimateMarks(model, bootloaderReady);
}

} // namespace qor
