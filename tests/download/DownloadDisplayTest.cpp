// The download dialog's display tick: texts, kilobytes, bar and button.
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "download/DownloadDisplay.h"

using namespace qor;

namespace {

TDownloadState Transferring(std::uint32_t received, std::uint32_t total) {
    TDownloadState state;
    state.Busy = true;
    state.SizeKnown = true;
    state.ReceivedBytes = received;
    state.TotalBytes = total;
    return state;
}

} // namespace

TEST(DownloadDisplayTest, KilobytesHaveOneRoundedDecimalInTheLocalesFormat) {
    EXPECT_EQ(FormatKilobytes(12'500, "."), "12.5");
    EXPECT_EQ(FormatKilobytes(12'500, ","), "12,5");
    EXPECT_EQ(FormatKilobytes(0, "."), "0.0");
    EXPECT_EQ(FormatKilobytes(49, "."), "0.0");
    EXPECT_EQ(FormatKilobytes(50, "."), "0.1");
    EXPECT_EQ(FormatKilobytes(999, "."), "1.0");
    EXPECT_EQ(FormatKilobytes(12'549, "."), "12.5");
    EXPECT_EQ(FormatKilobytes(12'550, "."), "12.6");
    EXPECT_EQ(FormatKilobytes(1'500'000, "."), "1500.0");
    EXPECT_EQ(FormatKilobytes(4'294'967'295U, "."), "4294967.3");
}

TEST(DownloadDisplayTest, TransferWithKnownSizeShowsBothAmountsAndTheShare) {
    TDownloadState state = Transferring(12'500, 250'000);
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.LStatus, "Downloading firmware (12.5 KB / 250.0 KB)");
    EXPECT_EQ(state.View.PBFWProgress, 50);
    EXPECT_EQ(state.View.BCancel, "Cancel");

    DownloadDisplayTick(state, LangGerman, ",");
    EXPECT_EQ(state.View.LStatus, "Firmware wird heruntergeladen... (12,5 KB / 250,0 KB)");
    EXPECT_EQ(state.View.BCancel, "Abbrechen");

    state = Transferring(2, 3); // 666.67 truncated
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.PBFWProgress, 666);
}

TEST(DownloadDisplayTest, LengthOfZeroOrBelowTheBodyKeepsTheBarInRange) {
    TDownloadState state = Transferring(4096, 0);
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.LStatus, "Downloading firmware (4.1 KB / 0.0 KB)");
    EXPECT_EQ(state.View.PBFWProgress, 0);

    state = Transferring(5000, 4000);
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.PBFWProgress, 1000);
}

TEST(DownloadDisplayTest, UnknownSizeShowsTheTextAloneAndAnEmptyBar) {
    TDownloadState state = Transferring(30'000, 0);
    state.SizeKnown = false;
    state.View.PBFWProgress = 300;
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.LStatus, "Downloading firmware");
    EXPECT_EQ(state.View.PBFWProgress, 0);
}

TEST(DownloadDisplayTest, StatusKeepsSayingConnectingUntilTheResponseArrives) {
    TDownloadState state;
    state.Busy = true;
    state.AwaitingResponse = true;
    state.View.LStatus = "Connecting...";
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View.LStatus, "Connecting...");
    EXPECT_EQ(state.View.PBFWProgress, 0);
    EXPECT_EQ(state.View.BCancel, "Cancel");
}

TEST(DownloadDisplayTest, SuccessFillsTheBarAndOffersClose) {
    TDownloadState state;
    state.DownloadOK = true;
    DownloadDisplayTick(state, LangGerman, ",");
    EXPECT_EQ(state.View.LStatus, "Firmware wurde erfolgreich heruntergeladen.");
    EXPECT_EQ(state.View.PBFWProgress, 1000);
    EXPECT_EQ(state.View.BCancel, "Schließen");
}

TEST(DownloadDisplayTest, BeforeTheStartAndAfterAFailureTheLabelAndBarStay) {
    TDownloadState state;
    DownloadDisplayTick(state, LangEnglish, ".");
    EXPECT_EQ(state.View, (TDownloadView{"", 0, "Close"}));

    state.View = {"Operation cancelled", 123, "Cancel"};
    DownloadDisplayTick(state, LangFrench, ",");
    EXPECT_EQ(state.View, (TDownloadView{"Operation cancelled", 123, "Fermer"}));
}
