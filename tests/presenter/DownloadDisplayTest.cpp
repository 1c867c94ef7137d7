// The download dialog's display tick: texts, kilobytes, bar and button.
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "presenter/DownloadDisplay.h"

using namespace qor;

namespace {

TDownloadState Transferring(std::uint32_t received, std::uint32_t total) {
    TDownloadState state;
    TDownloadView view;
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
    TDownloadView view;
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.LStatus, "Downloading firmware (12.5 KB / 250.0 KB)");
    EXPECT_EQ(view.PBFWProgress, 50);
    EXPECT_EQ(view.BCancel, "Cancel");

    DownloadDisplayTick(state, view, LangGerman, ",");
    EXPECT_EQ(view.LStatus, "Firmware wird heruntergeladen... (12,5 KB / 250,0 KB)");
    EXPECT_EQ(view.BCancel, "Abbrechen");

    state = Transferring(2, 3); // 666.67 truncated
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.PBFWProgress, 666);
}

TEST(DownloadDisplayTest, LengthOfZeroOrBelowTheBodyKeepsTheBarInRange) {
    TDownloadState state = Transferring(4096, 0);
    TDownloadView view;
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.LStatus, "Downloading firmware (4.1 KB / 0.0 KB)");
    EXPECT_EQ(view.PBFWProgress, 0);

    state = Transferring(5000, 4000);
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.PBFWProgress, 1000);
}

TEST(DownloadDisplayTest, UnknownSizeShowsTheTextAloneAndAnEmptyBar) {
    TDownloadState state = Transferring(30'000, 0);
    TDownloadView view;
    state.SizeKnown = false;
    view.PBFWProgress = 300;
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.LStatus, "Downloading firmware");
    EXPECT_EQ(view.PBFWProgress, 0);
}

TEST(DownloadDisplayTest, StatusKeepsSayingConnectingUntilTheResponseArrives) {
    TDownloadState state;
    TDownloadView view;
    state.Busy = true;
    state.AwaitingResponse = true;
    view.LStatus = "Connecting...";
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view.LStatus, "Connecting...");
    EXPECT_EQ(view.PBFWProgress, 0);
    EXPECT_EQ(view.BCancel, "Cancel");
}

TEST(DownloadDisplayTest, SuccessFillsTheBarAndOffersClose) {
    TDownloadState state;
    TDownloadView view;
    state.DownloadOK = true;
    DownloadDisplayTick(state, view, LangGerman, ",");
    EXPECT_EQ(view.LStatus, "Firmware wurde erfolgreich heruntergeladen.");
    EXPECT_EQ(view.PBFWProgress, 1000);
    EXPECT_EQ(view.BCancel, "Schließen");
}

TEST(DownloadDisplayTest, BeforeTheStartAndAfterAFailureTheLabelAndBarStay) {
    TDownloadState state;
    TDownloadView view;
    DownloadDisplayTick(state, view, LangEnglish, ".");
    EXPECT_EQ(view, (TDownloadView{"", 0, "Close"}));

    view = {"Operation cancelled", 123, "Cancel"};
    DownloadDisplayTick(state, view, LangFrench, ",");
    EXPECT_EQ(view, (TDownloadView{"Operation cancelled", 123, "Fermer"}));
}
