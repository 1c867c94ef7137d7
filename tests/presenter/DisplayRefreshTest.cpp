#include "presenter/DisplayRefresh.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/TextTable.h"
#include "sim/SampleImage.h"

namespace qor {
namespace {

TFirmwareImage AnImage() {
    return ParseFirmwareImage(MakeFirmwareImage(1024, "102a")).Value();
}

using ::testing::ElementsAre;
using ::testing::Pair;

// Which marks a tick shows: 0 none, 2 the two red ones, 3 all three; -1 for a combination the
// animation never uses.
int Marks(const TMainView& view) {
    if (!view.ShClamp30 && !view.ShHVRelay && !view.ShPower) {
        return 0;
    }
    if (view.ShClamp30 && view.ShHVRelay) {
        return view.ShPower ? 3 : 2;
    }
    return -1;
}

// Runs `ticks` ticks without a bootloader and returns the shown marks as (marks, ticks) runs.
std::vector<std::pair<int, int>> MarkRuns(TMainModel& state, int ticks) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < ticks; ++i) {
        DisplayTimerTick(state, false, LangEnglish);
        const int marks = Marks(state.View);
        if (!runs.empty() && runs.back().first == marks) {
            ++runs.back().second;
        } else {
            runs.emplace_back(marks, 1);
        }
    }
    return runs;
}

TEST(DisplayRefreshMarks, FromStartUpTheFirstDarkPhaseLastsOneTickThenTheCycleTakesEightSeconds) {
    TMainModel state;
    EXPECT_THAT(MarkRuns(state, 1 + 80 + 55),
                ElementsAre(Pair(0, 1), Pair(2, 10), Pair(3, 5), Pair(2, 40), Pair(0, 25),
                            Pair(2, 10), Pair(3, 5), Pair(2, 40)));
}

TEST(DisplayRefreshMarks, AReadyBootloaderHidesTheMarksAndRestartsWithOneSecondDark) {
    TMainModel state;
    MarkRuns(state, 14); // into the phase with all three marks
    ASSERT_EQ(Marks(state.View), 3);
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(Marks(state.View), 0);
    EXPECT_EQ(state.HintPhase, 0);
    EXPECT_EQ(state.HintCountdown, 10);
    EXPECT_THAT(MarkRuns(state, 25), ElementsAre(Pair(0, 10), Pair(2, 10), Pair(3, 5)));
}

TEST(DisplayRefreshSteps, HighlightAndButtonsFollowTheDeviceAndTheImage) {
    TMainModel state;
    state.View.BSwitchOff = false; // as the connection monitor leaves it
    DisplayTimerTick(state, false, LangEnglish);
    EXPECT_EQ(state.Step, 0);
    EXPECT_EQ(state.View.L1, TColour::WindowText);
    EXPECT_EQ(state.View.L2, TColour::Grey);
    EXPECT_EQ(state.View.L3, TColour::Grey);
    EXPECT_FALSE(state.View.BOpenLocal);
    EXPECT_FALSE(state.View.BDownload);
    EXPECT_FALSE(state.View.BFlash);
    EXPECT_FALSE(state.View.BSwitchOff);

    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(state.Step, 1);
    EXPECT_EQ(state.View.L1, TColour::Grey);
    EXPECT_EQ(state.View.L2, TColour::WindowText);
    EXPECT_TRUE(state.View.BOpenLocal);
    EXPECT_TRUE(state.View.BDownload);
    EXPECT_TRUE(state.View.BSwitchOff);
    EXPECT_FALSE(state.View.BFlash);

    state.FWImage = AnImage();
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(state.Step, 2);
    EXPECT_EQ(state.View.L2, TColour::Grey);
    EXPECT_EQ(state.View.L3, TColour::WindowText);
    EXPECT_TRUE(state.View.BFlash);
    EXPECT_TRUE(state.View.BSwitchOff);

    // The image is dropped while the bootloader stays ready: Update is off again.
    state.DiscardImage();
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(state.Step, 1);
    EXPECT_FALSE(state.View.BFlash);
    EXPECT_TRUE(state.View.BSwitchOff);
}

TEST(DisplayRefreshSteps, ARunningUpdateKeepsItsButtonsDisabled) {
    TMainModel state;
    state.FWImage = AnImage();
    state.UpdateRunning = true;
    state.View.BFlash = false;
    state.View.BSwitchOff = false;
    state.View.GBFWFile = false;
    for (int i = 0; i < 3; ++i) {
        DisplayTimerTick(state, true, LangEnglish);
        EXPECT_EQ(state.Step, 2);
        EXPECT_FALSE(state.View.BFlash);
        EXPECT_FALSE(state.View.BSwitchOff);
        EXPECT_FALSE(state.View.GBFWFile);
    }
}

TEST(DisplayRefreshUpdate, DotsGrowOncePerSecondAndImgFlashBlinksEverySecond) {
    TMainModel state;
    state.UpdateRunning = true;
    state.FWImage = AnImage();
    std::vector<std::size_t> dots;
    std::vector<int> toggles;
    bool flash = state.View.ImgFlash;
    for (int tick = 1; tick <= 45; ++tick) {
        DisplayTimerTick(state, true, LangGerman);
        const std::string& text = state.View.LFlashStatus.Text;
        ASSERT_EQ(text.rfind("Update läuft", 0), 0U) << text;
        EXPECT_EQ(state.View.LFlashStatus.Colour, TColour::Green);
        dots.push_back(text.size() - std::string("Update läuft").size());
        if (state.View.ImgFlash != flash) {
            toggles.push_back(tick);
            flash = state.View.ImgFlash;
        }
    }
    EXPECT_EQ(dots[0], 0U);
    EXPECT_EQ(dots[9], 0U);
    EXPECT_EQ(dots[10], 1U);
    EXPECT_EQ(dots[29], 2U);
    EXPECT_EQ(dots[39], 3U);
    EXPECT_EQ(dots[40], 0U);
    // BlinkCountdown starts at 5: the first toggle comes after half a second.
    EXPECT_THAT(toggles, ElementsAre(5, 15, 25, 35, 45));
}

TEST(DisplayRefreshUpdate, ResultLineShowsSuccessUntilTheBootloaderGoesAndFailureLonger) {
    TMainModel state;
    state.UpdateSucceeded = true;
    state.View.PBFW = 991;
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_TRUE(state.View.ImgSuccess);
    EXPECT_EQ(state.View.LFlashStatus,
              (TLabelView{"Update finished successfully!", TColour::Green}));
    EXPECT_EQ(state.View.PBFW, 991);

    DisplayTimerTick(state, false, LangEnglish);
    EXPECT_FALSE(state.UpdateSucceeded);
    EXPECT_EQ(state.View.PBFW, 0);
    EXPECT_FALSE(state.View.ImgSuccess);
    EXPECT_EQ(state.View.LFlashStatus.Text, "");

    state.UpdateFailed = true;
    DisplayTimerTick(state, false, LangFrench);
    EXPECT_EQ(state.View.LFlashStatus,
              (TLabelView{Txt(TxtUpdateFailed, LangFrench), TColour::Maroon}));
    DisplayTimerTick(state, true, LangFrench);
    EXPECT_TRUE(state.UpdateFailed);
    EXPECT_EQ(state.View.LFlashStatus.Colour, TColour::Maroon);
}

TEST(DisplayRefreshFilePanel, ShowsTheLoadedImageOrPlaceholders) {
    TMainModel state;
    state.FWImage = AnImage();
    state.FWFilename = "qor-7316 image.bin";
    state.FWVersion = "1\xFC"
                      "2b";
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(state.View.LFWFileStatus, (TLabelView{"Firmware loaded!", TColour::Green}));
    EXPECT_EQ(state.View.LFWFilename.Text, "qor-7316 image.bin");
    EXPECT_EQ(state.View.LFWVersion.Text, "1\xC3\xBC"
                                          "2b");

    state.DiscardImage();
    DisplayTimerTick(state, true, LangEnglish);
    EXPECT_EQ(state.View.LFWFileStatus, (TLabelView{"No firmware loaded", TColour::Maroon}));
    EXPECT_EQ(state.View.LFWFilename.Text, "-- / --");
    EXPECT_EQ(state.View.LFWVersion.Text, "-- / --");
}

} // namespace
} // namespace qor
