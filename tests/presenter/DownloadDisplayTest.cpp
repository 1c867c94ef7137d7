// The download dialog's model: the display tick's texts, kilobytes, bar and button, what the
// button and the close box do as the transfer goes on, and the image it hands on.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/TextTable.h"
#include "presenter/DownloadDisplay.h"

using namespace qor;

namespace {

// A display whose transfer has asked its first question and heard `received` of `total`.
TDownloadDisplay Transferring(std::uint32_t received, std::optional<std::uint32_t> total) {
    TDownloadDisplay display(nullptr);
    display.Begin();
    EXPECT_FALSE(display.CancelRequested());
    display.Received(received, total);
    return display;
}

TDownloadResult Failed(TDownloadFailure reason, const char* text) {
    return Fail(TDownloadError{reason, "what happened", {}, text});
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
    TDownloadDisplay display = Transferring(12'500, 250'000);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().LStatus, "Downloading firmware (12.5 KB / 250.0 KB)");
    EXPECT_EQ(display.View().PBFWProgress, 50);
    EXPECT_EQ(display.View().BCancel, "Cancel");

    display.Tick(LangGerman, ",");
    EXPECT_EQ(display.View().LStatus, "Firmware wird heruntergeladen... (12,5 KB / 250,0 KB)");
    EXPECT_EQ(display.View().BCancel, "Abbrechen");

    display.Received(2, 3); // 666.67 truncated
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().PBFWProgress, 666);
}

TEST(DownloadDisplayTest, LengthOfZeroOrBelowTheBodyKeepsTheBarInRange) {
    TDownloadDisplay display = Transferring(4096, 0);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().LStatus, "Downloading firmware (4.1 KB / 0.0 KB)");
    EXPECT_EQ(display.View().PBFWProgress, 0);

    display.Received(5000, 4000);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().PBFWProgress, 1000);
}

TEST(DownloadDisplayTest, UnknownSizeShowsTheTextAloneAndAnEmptyBar) {
    TDownloadDisplay display = Transferring(3000, 250'000);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().PBFWProgress, 12);
    display.Received(30'000, std::nullopt);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View().LStatus, "Downloading firmware");
    EXPECT_EQ(display.View().PBFWProgress, 0);
}

// From the transfer's start until the response has come, the status reads "Connecting...",
// the display tick leaves it so, and the button cancels once the transfer has asked.
TEST(DownloadDisplayTest, StatusKeepsSayingConnectingUntilTheResponseArrives) {
    std::vector<std::string> served;
    TDownloadDisplay* shown = nullptr;
    TDownloadDisplay display([&] {
        shown->ShowStep(LangEnglish);
        shown->Tick(LangEnglish, ".");
        served.push_back(shown->View().LStatus + " | " + shown->View().BCancel);
    });
    shown = &display;
    display.Begin();
    EXPECT_TRUE(display.AwaitingResponse());
    EXPECT_FALSE(display.CancelRequested());
    EXPECT_FALSE(display.CancelRequested());
    EXPECT_EQ(display.View().PBFWProgress, 0);
    display.Received(0, 1000);
    EXPECT_FALSE(display.AwaitingResponse());
    EXPECT_FALSE(display.CancelRequested());
    EXPECT_EQ(served,
              (std::vector<std::string>{"Connecting... | Close", "Connecting... | Cancel",
                                        "Downloading firmware (0.0 KB / 1.0 KB) | Cancel"}));
}

TEST(DownloadDisplayTest, SuccessFillsTheBarAndOffersClose) {
    TDownloadDisplay display = Transferring(1000, 1000);
    display.End(TDownloadedImage{std::vector<std::uint8_t>(1000, 7), "http://server/a", "/tmp/a"});
    display.Tick(LangGerman, ",");
    EXPECT_EQ(display.View().LStatus, "Firmware wurde erfolgreich heruntergeladen.");
    EXPECT_EQ(display.View().PBFWProgress, 1000);
    EXPECT_EQ(display.View().BCancel, "Schließen");
    EXPECT_EQ(display.View().LStatusTip, "");
    EXPECT_FALSE(display.Busy());
    EXPECT_FALSE(display.Running());
}

TEST(DownloadDisplayTest, BeforeTheStartAndAfterAFailureTheLabelAndBarStay) {
    TDownloadDisplay display(nullptr);
    display.Tick(LangEnglish, ".");
    EXPECT_EQ(display.View(), (TDownloadView{"", 0, "Close", ""}));

    display = Transferring(123'000, 1'000'000);
    display.Tick(LangEnglish, ".");
    display.End(Failed(TDownloadFailure::Cancelled, "Operation cancelled"));
    display.ShowStep(LangEnglish);
    display.Tick(LangFrench, ",");
    EXPECT_EQ(display.View(),
              (TDownloadView{"Operation cancelled", 123, "Fermer", "what happened"}));
    EXPECT_EQ(display.FailureDetail(), "what happened");
}

// The first question comes before the transfer connects: a click served before it closes the
// dialog, put off until the transfer has ended; from then on the button cancels.
TEST(DownloadDisplayTest, TheButtonClosesUntilTheTransferAskedAndCancelsFromThen) {
    bool clickNow = false;
    bool closeWanted = false;
    bool closeAllowed = true;
    TDownloadDisplay* dialog = nullptr;
    TDownloadDisplay display([&] {
        if (std::exchange(clickNow, false) && dialog->CancelClick()) {
            closeWanted = true;
            closeAllowed = dialog->CloseQuery();
        }
    });
    dialog = &display;
    display.Begin();
    clickNow = true;
    EXPECT_FALSE(display.CancelRequested());
    EXPECT_TRUE(closeWanted);
    EXPECT_FALSE(closeAllowed);
    EXPECT_TRUE(display.Busy());

    closeWanted = false;
    clickNow = true;
    EXPECT_TRUE(display.CancelRequested());
    EXPECT_FALSE(closeWanted);
    EXPECT_FALSE(display.Busy());
    EXPECT_TRUE(display.Running());
    EXPECT_FALSE(display.CloseQuery()); // still unwinding
    display.End(Failed(TDownloadFailure::Cancelled, "Operation cancelled"));
    EXPECT_TRUE(display.TakeCloseRequest());
    EXPECT_FALSE(display.TakeCloseRequest());
    EXPECT_TRUE(display.CloseQuery());
}

TEST(DownloadDisplayTest, TheImageIsHandedOnOnceAndOnlyAfterSuccess) {
    TDownloadDisplay display(nullptr);
    EXPECT_TRUE(display.Start());
    EXPECT_FALSE(display.Start());
    EXPECT_FALSE(display.TakeImage().has_value());
    display.Begin();
    display.End(Failed(TDownloadFailure::StatusRefused, "Connecting to server failed!  -  404"));
    EXPECT_FALSE(display.TakeImage().has_value());
    EXPECT_EQ(display.Downloaded(), nullptr);

    std::vector<std::uint8_t> body(5000, 3);
    const std::uint8_t* bytes = body.data();
    display.Begin();
    display.End(TDownloadedImage{std::move(body), "http://server/b", "/tmp/qor-7316.bin"});
    ASSERT_NE(display.Downloaded(), nullptr);
    std::optional<TDownloadedImage> taken = display.TakeImage();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->Body.data(), bytes); // moved on, not copied
    EXPECT_EQ(taken->SavedAs, "/tmp/qor-7316.bin");
    EXPECT_EQ(taken->Source, "http://server/b");
}
