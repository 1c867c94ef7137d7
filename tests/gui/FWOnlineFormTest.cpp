// The download dialog driven through its handlers against the loopback server.
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "device/Protocol.h"
#include "download/CurlHttpSession.h"
#include "gui/TFWOnlineForm.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/MemoryFiles.h"
#include "qortest/PatternBytes.h"
#include "sim/FirmwareServer.h"

using namespace qor;
using namespace qor::test;
using namespace std::chrono_literals;

namespace {

// The dialog receives the main window's variant numbers as they are.

class FWOnlineFormTest : public ::testing::Test {
protected:
    TFirmwareServer Server;
    TSettings Settings;
    TFakeDataProtection Protection;
    TMemoryFiles Files;
    int Sessions = 0;
    // Runs while the session waits for the network, as a user's clicks would.
    std::function<void()> WhileWaiting;
    std::unique_ptr<TFWOnlineForm> Form;

    FWOnlineFormTest() { Settings.CfgLanguage = LangEnglish; }
    ~FWOnlineFormTest() override { QLocale::setDefault(QLocale::c()); }
    void SetUp() override {
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    }

    void Create() {
        THttpSessionFactory sessions = [this](const THttpWait& wait) {
            ++Sessions;
            THttpWait watched{[this, pump = wait.Pump] {
                                  pump();
                                  if (WhileWaiting) {
                                      WhileWaiting();
                                  }
                              },
                              wait.StopAsked};
            return std::make_unique<TCurlHttpSession>(watched);
        };
        Form = std::make_unique<TFWOnlineForm>(Settings, Protection, sessions, Files.Services(),
                                               TDownloadServer{"127.0.0.1", Server.Port()});
        Form->Display.DeviceVariant = TVariantKind::A;
        Form->show();
    }

    std::string Status() const { return Form->LStatus->text().toStdString(); }
    std::string Button() const { return Form->BCancel->text().toStdString(); }
};

} // namespace

TEST_F(FWOnlineFormTest, OpensAsDesignedWithItsTimersRunning) {
    Create();
    EXPECT_EQ(Form->windowTitle(), "Firmware herunterladen");
    EXPECT_EQ(Form->size(), QSize(460, 116));
    EXPECT_EQ(Form->PBFWProgress->geometry(), QRect(50, 11, 360, 25));
    EXPECT_EQ(Form->PBFWProgress->minimum(), 0);
    EXPECT_EQ(Form->PBFWProgress->maximum(), 1000);
    EXPECT_EQ(Form->LStatus->geometry(), QRect(50, 45, 360, 19));
    EXPECT_TRUE(Form->LStatus->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(Form->LStatus->wordWrap());
    EXPECT_EQ(Form->LStatus->font().pixelSize(), 13);
    EXPECT_EQ(Form->LStatus->font().family(), "Tahoma");
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(Form->BCancel->geometry(), QRect(180, 78, 100, 27));
    EXPECT_EQ(Button(), "Abbrechen");
    EXPECT_EQ(Form->DisplayTimer.interval(), 50);
    EXPECT_TRUE(Form->DisplayTimer.isActive());
    EXPECT_EQ(Form->StartTimer.interval(), 500);
    EXPECT_TRUE(Form->StartTimer.isActive());

    // FormCreate leaves the variant at "other" for the main window to overwrite.
    Form =
        std::make_unique<TFWOnlineForm>(Settings, Protection, CurlHttpSessions(), Files.Services());
    EXPECT_EQ(Form->Display.DeviceVariant, TVariantKind::Other);
    EXPECT_FALSE(Form->Display.Busy());
    EXPECT_FALSE(Form->Display.Started());
    EXPECT_FALSE(Form->Display.DownloadOK());
}

TEST_F(FWOnlineFormTest, CloseBeforeTheStartEndsWithoutATransfer) {
    Create();
    Form->DisplayTimerTimer();
    EXPECT_EQ(Button(), "Close");
    QTest::mouseClick(Form->BCancel, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Form->result(), QDialog::Rejected);
    EXPECT_EQ(Sessions, 0);
    EXPECT_FALSE(Form->Display.DownloadOK());
}

TEST_F(FWOnlineFormTest, DownloadsOnceAndShowsTheSuccessInTheLanguage) {
    const auto image = PatternBytes(100'000);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(image));
    Settings.CfgLanguage = LangGerman;
    Create();
    Form->StartTimerTimer();
    ASSERT_TRUE(Form->Display.DownloadOK()) << Form->Display.FailureDetail();
    EXPECT_TRUE(Files.Written[Form->Display.Downloaded()->SavedAs] == image);
    Form->DisplayTimerTimer();
    EXPECT_EQ(Status(), "Firmware wurde erfolgreich heruntergeladen.");
    EXPECT_EQ(Form->PBFWProgress->value(), 1000);
    EXPECT_EQ(Button(), "Schließen");
    EXPECT_EQ(Form->windowTitle(), "Firmware herunterladen");

    Form->StartTimerTimer(); // every later tick returns at once
    EXPECT_EQ(Sessions, 1);
    Form->close();
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(FWOnlineFormTest, ProgressUsesTheLocalesDecimalSeparatorAndTheWindowCannotClose) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(200'000)).Slowly(4096, 1ms));
    Create();
    std::vector<std::string> shown;
    bool closedWhileBusy = false;
    WhileWaiting = [&] {
        if (Form->Display.ReceivedBytes() > 0) {
            Form->DisplayTimerTimer();
            shown.push_back(Status());
            Form->close();
            closedWhileBusy = closedWhileBusy || !Form->isVisible();
        }
    };
    Form->StartTimerTimer();
    ASSERT_TRUE(Form->Display.DownloadOK()) << Form->Display.FailureDetail();
    ASSERT_FALSE(shown.empty());
    EXPECT_THAT(shown.back(),
                ::testing::MatchesRegex(R"(Downloading firmware \([0-9]+,[0-9] KB / 200,0 KB\))"));
    EXPECT_FALSE(closedWhileBusy);
    EXPECT_TRUE(Form->isVisible());
    Form->close(); // after the end it closes
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(FWOnlineFormTest, CancelDuringTheBodyStopsTheTransfer) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(400'000)).Slowly(2048, 1ms));
    Create();
    WhileWaiting = [this] {
        if (Form->Display.ReceivedBytes() > 10'000 && Form->Display.Busy()) {
            QTest::mouseClick(Form->BCancel, Qt::LeftButton);
        }
    };
    Form->StartTimerTimer();
    EXPECT_EQ(Status(), "Operation cancelled");
    EXPECT_FALSE(Form->Display.DownloadOK());
    EXPECT_EQ(Files.Writes, 0);
    Form->DisplayTimerTimer();
    EXPECT_EQ(Status(), "Operation cancelled");
    EXPECT_EQ(Button(), "Close");
    QTest::mouseClick(Form->BCancel, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
}

// While connecting the GUI is served: the status keeps saying so, a Cancel takes effect at
// once though the server stays silent, and a close asked for meanwhile is carried out as soon
// as the transfer has ended.
TEST_F(FWOnlineFormTest, CancelAndCloseWhileConnectingAreServedAtOnce) {
    Server.Serve("/qor-7316-a.bin",
                 TServedFile::Of(PatternBytes(5000)).Failing(TServeFault::StallBeforeHeaders));
    Create();
    std::string statusWhileConnecting;
    std::string buttonWhileConnecting;
    bool visibleAfterClose = false;
    WhileWaiting = [&] {
        if (Form->Display.AwaitingResponse() && Form->Display.Busy()) {
            Form->DisplayTimerTimer();
            statusWhileConnecting = Status();
            buttonWhileConnecting = Button();
            QTest::mouseClick(Form->BCancel, Qt::LeftButton);
            Form->close();
            visibleAfterClose = Form->isVisible();
        }
    };
    Form->StartTimerTimer();
    EXPECT_EQ(statusWhileConnecting, "Connecting...");
    EXPECT_EQ(buttonWhileConnecting, "Cancel");
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(Status(), "Operation cancelled");
    EXPECT_EQ(Form->Display.ReceivedBytes(), 0u);
    EXPECT_FALSE(Form->Display.DownloadOK());
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(FWOnlineFormTest, MissingImageShowsTheStatusCode) {
    Create();
    Form->StartTimerTimer();
    Form->DisplayTimerTimer();
    EXPECT_EQ(Status(), "Connecting to server failed!  -  404");
    EXPECT_EQ(Button(), "Close");
    EXPECT_FALSE(Form->Display.DownloadOK());
}

// Variant a takes image a; variant b and every other device take image b.
TEST_F(FWOnlineFormTest, AsksForTheImageOfTheDevicesVariant) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(1000, 1)));
    Server.Serve("/qor-7316-b.bin", TServedFile::Of(PatternBytes(1000, 2)));
    for (const TVariantKind variant : {TVariantKind::A, TVariantKind::B, TVariantKind::Other}) {
        SCOPED_TRACE(static_cast<int>(variant));
        Create();
        Form->Display.DeviceVariant = variant;
        Form->StartTimerTimer();
        ASSERT_TRUE(Form->Display.DownloadOK()) << Form->Display.FailureDetail();
        EXPECT_EQ(Server.Requests().back().Target,
                  variant == TVariantKind::A ? "/qor-7316-a.bin" : "/qor-7316-b.bin");
        const TDownloadedImage& downloaded = *Form->Display.Downloaded();
        EXPECT_EQ(downloaded.Body.size(), 1000u);
        EXPECT_TRUE(downloaded.Body == Files.Written[downloaded.SavedAs]);
    }
}
