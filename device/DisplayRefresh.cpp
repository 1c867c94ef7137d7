#include "device/DisplayRefresh.h"

#include <array>
#include <string>

#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "device/ConnectionMonitor.h"

namespace qor {

namespace {

// Steps of the three-step guide, as held in TMainState::Step.
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

void ShowFilePanel(const TMainState& state, std::uint8_t language, TMainView& view) {
    if (state.FWLoaded) {
        view.LFWFileStatus = {Txt(TxtFirmwareLoaded, language), TColour::Green};
        view.LFWFilename.Text = state.FWFilename;
        view.LFWVersion.Text = Windows1252ToUtf8(state.FWVersion);
    } else {
        view.LFWFileStatus = {Txt(TxtNoFirmwareLoaded, language), TColour::Maroon};
        view.LFWFilename.Text = UnknownValue;
        view.LFWVersion.Text = UnknownValue;
    }
}

void ShowResult(const TMainState& state, std::uint8_t language, TMainView& view) {
    if (state.UpdateSucceeded) {
        view.ImgSuccess = true;
        view.LFlashStatus = {Txt(TxtUpdateSucceeded, language), TColour::Green};
    } else if (state.UpdateFailed) {
        view.ImgSuccess = false;
        view.LFlashStatus = {Txt(TxtUpdateFailed, language), TColour::Maroon};
    } else if (!state.UpdateRunning) {
        view.LFlashStatus.Text.clear();
        view.ImgSuccess = false;
    }
}

void ShowRunningUpdate(TMainState& state, std::uint8_t language) {
    TMainView& view = state.View;
    if (state.BlinkCountdown == 0) {
        view.ImgFlash = !view.ImgFlash;
        view.ImgSearch = false;
        view.ImgNotConnected = false;
        view.ImgSuccess = false;
        state.BlinkCountdown = BlinkReload;
    }
    std::string text = Txt(TxtUpdating, language);
    text.append(state.AnimCounter / AnimTicksPerDot, '.');
    view.LFlashStatus = {std::move(text), TColour::Green};
}

void HighlightStep(const TMainState& state, bool bootloaderReady, TMainView& view) {
    view.L1 = state.Step == StepConnect ? TColour::WindowText : TColour::Grey;
    view.L2 = state.Step == StepLoad ? TColour::WindowText : TColour::Grey;
    view.L3 = state.Step == StepUpdate ? TColour::WindowText : TColour::Grey;

    const bool usable = bootloaderReady && !state.UpdateRunning;
    if (state.Step == StepUpdate) {
        if (usable) {
            view.BFlash = true;
            view.BSwitchOff = true;
        }
        return;
    }
    // Without a loaded image there is nothing to write: Update stays off until step 3.
    view.BFlash = false;
    if (state.Step == StepLoad && usable) {
        view.BSwitchOff = true;
    }
}

void AnimateMarks(TMainState& state, bool bootloaderReady) {
    TMainView& view = state.View;
    if (bootloaderReady) {
        state.HintPhase = 0;
        state.HintCountdown = HintResetLength;
        view.ShClamp30 = false;
        view.ShHVRelay = false;
        view.ShPower = false;
        return;
    }
    if (state.HintCountdown > 0) {
        --state.HintCountdown;
    }
    // A phase out of range (never set so by this code) restarts the cycle.
    if (state.HintPhase < 0 || state.HintPhase >= static_cast<std::int32_t>(HintPhases.size())) {
        state.HintPhase = 0;
    }
    const THintPhase& phase = HintPhases[static_cast<std::size_t>(state.HintPhase)];
    view.ShClamp30 = phase.Clamp30;
    view.ShHVRelay = phase.HVRelay;
    view.ShPower = phase.Power;
    if (state.HintCountdown == 0) {
        state.HintCountdown = phase.NextLength;
        state.HintPhase = (state.HintPhase + 1) % static_cast<std::int32_t>(HintPhases.size());
    }
}

} // namespace

void DisplayTimerTick(TMainState& state, bool bootloaderReady, std::uint8_t language) {
    TMainView& view = state.View;

    view.BDownload = bootloaderReady;
    view.BOpenLocal = bootloaderReady;

    if (!bootloaderReady) {
        state.UpdateSucceeded = false;
        view.PBFW = 0;
        state.Step = StepConnect;
    } else {
        state.Step = state.FWLoaded ? StepUpdate : StepLoad;
    }

    ShowFilePanel(state, language, view);
    ShowResult(state, language, view);

    if (state.BlinkCountdown > 0) {
        --state.BlinkCountdown;
    }
    if (state.UpdateRunning) {
        ShowRunningUpdate(state, language);
    }

    ++state.AnimCounter;
    if (state.AnimCounter > AnimCounterMax) {
        state.AnimCounter = 0;
    }

    HighlightStep(state, bootloaderReady, view);
    AnimateMarks(state, bootloaderReady);
}

} // namespace qor
