#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "base/TextTable.h"
#include "device/Protocol.h"
#include "gui/TFWOnlineForm.h"
#include "gui/TInfoDialog.h"
#include "gui/TMainForm.h"
#include "platform/TempDir.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/FakeHttpSession.h"
#include "qortest/MemoryRegistry.h"
#include "qortest/RecordingMessageBox.h"
#include "qortest/RegValues.h"
#include "qortest/ScratchDir.h"
#include "settings/SettingsStore.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"
#include "ui_TMainForm.h"

using namespace qor;
using qor::test::Dword;
using qor::test::TMemoryRegistry;
using qor::test::TRecordingMessageBox;
using qor::test::TShownMessage;

namespace {

class MainFormTest : public ::testing::Test {
protected:
    TMemoryRegistry Registry;
    TRecordingMessageBox Messages;
    qor::test::TFakeDataProtection Protection;
    TVirtualBus Bus;
    std::unique_ptr<TMainForm> Form;

    std::map<std::string, TRegValue>& Key() { return Registry.Keys[SettingsKeyPath]; }

    void StoreLanguage(std::uint32_t language) {
        Key()["Language"] = Dword(language);
        Key()["UseProxy"] = Dword(0);
        Key()["ProxyServer"] = {RegType::Sz, {0}};
        Key()["ProxyPort"] = Dword(0);
        Key()["UseProxyAuth"] = Dword(0);
        Key()["ProxyUser"] = {RegType::Sz, {0}};
        Key()["ProxyPassword"] = {RegType::Binary, {}};
    }

    std::function<QString(QWidget*)> ChooseFile;
    qor::test::THttpScript Http;
    void Create() {
        TMainFormServices services{Registry, Messages, Bus, Protection, ChooseFile};
        services.Sessions = [this](const qor::THttpWait& wait) {
            return std::make_unique<qor::test::TFakeHttpSession>(Http, wait);
        };
        services.Files = qor::PlatformDownloadFiles();
        services.Files.TempDirectory = [this]() -> qor::TResult<std::string> {
            return Scratch.Path() + "/";
        };
        services.ServiceLog = TServiceLog(LogFolder.string());
        services.ChooseReportFile = [this](QWidget*) {
            return ReportFile;
        };
        Form = std::make_unique<TMainForm>(services);
    }
    // The service log and the report of this test, never the user's.
    qor::test::TScratchDir Scratch;
    const std::filesystem::path LogFolder = Scratch / "log";
    QString ReportFile;
    TVirtualDevice& ConnectDevice(const TBootloaderConfig& config = TBootloaderConfig::VariantA()) {
        TVirtualDevice& device = Bus.AddDevice("QOR 7316", config);
        for (int tick = 0; tick < 6; ++tick) {
            Form->SerialTimerTimer();
            Form->DisplayTimerTimer();
        }
        return device;
    }
    Ui::TMainForm& Ui() { return Form->Controls(); }

    // Runs `during` while an update of a connected variant-a device lets messages run.
    void DuringAnUpdate(const std::function<void()>& during) {
        ConnectDevice();
        ASSERT_TRUE(Form->Presenter().AcceptDownload(
            TDownloadedImage{MakeFirmwareImage(63488, "105a"), "test", "qor-7316.bin"}));
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(Form->State().UpdateRunning);
            during();
            ran = true;
        });
        Form->BFlashClick();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(Form->State().UpdateRunning);
    }
};

} // namespace

TEST_F(MainFormTest, TheStepNumbersTwoAndThreeAreGreyFromTheFirstPaint) {
    Create();
    // Before any timer tick: only step 1 is active.
    EXPECT_EQ(Ui().L1->palette().color(QPalette::WindowText),
              QPalette().color(QPalette::WindowText));
    EXPECT_EQ(Ui().L2->palette().color(QPalette::WindowText), QColor(200, 200, 200));
    EXPECT_EQ(Ui().L3->palette().color(QPalette::WindowText), QColor(200, 200, 200));
}

TEST_F(MainFormTest, TheServiceReportHoldsTheRecordOfAnUpdate) {
    StoreLanguage(LangGerman);
    Create();
    EXPECT_EQ(Ui().MServiceReport->text(), "Servicebericht speichern...");
    ConnectDevice();
    ASSERT_TRUE(Form->Presenter().AcceptDownload(
        TDownloadedImage{MakeFirmwareImage(63488, "105a"), "test", "qor-7316.bin"}));
    Form->BFlashClick();
    ASSERT_TRUE(Form->State().UpdateSucceeded);

    ReportFile = QString::fromStdString((LogFolder / "report.txt").string());
    Form->MServiceReportClick();
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text,
              "Der Servicebericht wurde in „" + ReportFile.toStdString() + "“ gespeichert.");
    std::ifstream in(ReportFile.toStdString());
    const std::string report((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    EXPECT_NE(report.find("Device:   connected on port VQ0, serial VQ731600, variant a"),
              std::string::npos);
    EXPECT_NE(report.find("outcome   succeeded"), std::string::npos);
    EXPECT_NE(report.find("image     qor-7316.bin, version 105a, 63488 bytes"), std::string::npos);

    // A file that cannot be written is reported with its reason.
    ReportFile = QString::fromStdString((LogFolder / "no/such/folder/report.txt").string());
    Form->MServiceReportClick();
    ASSERT_EQ(Messages.Shown.size(), 2u);
    EXPECT_EQ(Messages.Shown[1].Caption, "Fehler");
    EXPECT_NE(Messages.Shown[1].Text.find("konnte nicht in"), std::string::npos);
}

TEST_F(MainFormTest, StartsInTheSavedLanguage) {
    StoreLanguage(LangFrench);
    Create();
    EXPECT_TRUE(Ui().MLangFR->isChecked());
    EXPECT_FALSE(Ui().MLangEN->isChecked());
    EXPECT_EQ(Form->windowTitle(), "Mise à jour du microcode du QOR 7316");
    EXPECT_EQ(Ui().LChecksumDesc->text(), "Total de contrôle");
    EXPECT_EQ(Ui().BOpenLocal->text(), "Ouvrir");
    EXPECT_EQ(Ui().MInfo->text(), "Info...");
    EXPECT_EQ(Form->InfoDialog().windowTitle(), "Mise à jour du microcode du QOR 7316");
    EXPECT_EQ(Form->InfoDialog().ServiceAddressLabel()->text(), "Adresse de SAV");
    EXPECT_TRUE(Messages.Shown.empty());
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(MainFormTest, AStoredLanguageAboveThreeStartsInEnglishAndIsWrittenBackAsOne) {
    for (const std::uint32_t stored : {4u, 255u}) {
        StoreLanguage(stored);
        Create();
        EXPECT_EQ(Form->Settings().CfgLanguage, LangEnglish) << stored;
        EXPECT_EQ(Key()["Language"], Dword(1)) << stored;
        EXPECT_TRUE(Ui().MLangEN->isChecked()) << stored;
        EXPECT_FALSE(Ui().MLangGE->isChecked()) << stored;
        EXPECT_EQ(Ui().BOpenLocal->text(), "Open") << stored;
    }
}

TEST_F(MainFormTest, FirstRunComesUpInEnglishWithTheDescriptiveLabelsWithoutColons) {
    Create();
    EXPECT_EQ(Form->Settings().CfgLanguage, LangEnglish);
    EXPECT_EQ(Key().size(), 7u);
    EXPECT_TRUE(Ui().MLangEN->isChecked());
    EXPECT_EQ(Ui().LBootldrVersionDesc->text(), "Bootloader Version");
    EXPECT_EQ(Ui().LFirmwareVersionDesc->text(), "Firmware version");
    EXPECT_EQ(Ui().LFilenameDesc->text(), "File name");
    EXPECT_EQ(Ui().LVersionDesc->text(), "Version");
    EXPECT_EQ(Ui().BOpenLocal->text(), "Open");
    EXPECT_EQ(Ui().MExit->text(), "Exit");
    EXPECT_EQ(Ui().GBFWFile->title(), "Firmware file");
    // Fixed captions stay as designed.
    EXPECT_EQ(Ui().GBQOR7316->title(), "QOR 7316");
    EXPECT_EQ(Ui().GroupBox1->title(), "QOR 7316");
    EXPECT_EQ(Ui().Proxy1->text(), "Proxy...");
    EXPECT_EQ(Ui().Label1->text(), "QOR 7316 Firmware Updater");
}

TEST_F(MainFormTest, BeforeTheFirstTickNothingIsShownAndTheButtonsAreAsDesigned) {
    Create();
    for (QWidget* w :
         {static_cast<QWidget*>(Ui().ImgNotConnected), static_cast<QWidget*>(Ui().ImgSearch),
          static_cast<QWidget*>(Ui().ImgFlash), static_cast<QWidget*>(Ui().ImgSuccess),
          static_cast<QWidget*>(Ui().ShClamp30), static_cast<QWidget*>(Ui().ShHVRelay),
          static_cast<QWidget*>(Ui().ShPower)}) {
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    }
    EXPECT_EQ(Ui().LQORStatus->text(), "");
    EXPECT_EQ(Ui().PBFW->value(), 0);
    EXPECT_EQ(Ui().PBFW->maximum(), 1000);
    for (QWidget* b : {Ui().BDownload, Ui().BOpenLocal, Ui().BFlash, Ui().BSwitchOff}) {
        EXPECT_TRUE(b->isEnabled());
    }
    EXPECT_EQ(Form->Presenter().Device().QueryTicksLeft(), 4);
    EXPECT_EQ(Form->State().BlinkCountdown, 5);
    EXPECT_TRUE(Form->SerialTimer().isActive());
    EXPECT_EQ(Form->SerialTimer().interval(), 100);
    EXPECT_TRUE(Form->DisplayTimer().isActive());
    EXPECT_EQ(Form->DisplayTimer().interval(), 100);
}

TEST_F(MainFormTest, ControlsSitWhereTheLayoutPutsThem) {
    Create();
    EXPECT_EQ(Form->centralWidget()->size(), QSize(753, 696));
    EXPECT_EQ(Ui().L1->geometry(), QRect(20, 16, 32, 51));
    EXPECT_EQ(Ui().GBFWFile->geometry(), QRect(62, 234, 360, 159));
    EXPECT_EQ(Ui().BOpenLocal->geometry(), QRect(160, 115, 130, 30));
    EXPECT_EQ(Ui().PBFW->geometry(), QRect(17, 126, 328, 23));
    EXPECT_EQ(Ui().Image2->geometry(), QRect(482, 238, 207, 341));
    EXPECT_EQ(Ui().ShClamp30->geometry(), QRect(604, 369, 21, 32));
    EXPECT_EQ(Ui().ShHVRelay->geometry(), QRect(558, 482, 21, 32));
    EXPECT_EQ(Ui().ShPower->geometry(), QRect(558, 326, 21, 32));
    EXPECT_EQ(Ui().ImgFlash->geometry(), QRect(634, 212, 105, 105));
    EXPECT_EQ(Ui().LQORStatus->geometry(), QRect(466, 606, 246, 19));
    EXPECT_EQ(Ui().L1->font().pixelSize(), 43);
    EXPECT_TRUE(Ui().L1->font().bold());
    EXPECT_EQ(Ui().LStep1->font().pixelSize(), 13);
    EXPECT_EQ(Ui().Label1->font().pixelSize(), 19);
    EXPECT_EQ(Ui().LFWFileStatus->font().family(), "Tahoma");
    // The marks are drawn over the device picture, the state images over both.
    const QObjectList& order = Form->centralWidget()->children();
    EXPECT_LT(order.indexOf(Ui().Image2), order.indexOf(Ui().ShPower));
    EXPECT_LT(order.indexOf(Ui().ShPower), order.indexOf(Ui().ImgNotConnected));
}

TEST_F(MainFormTest, TabOrderRunsThroughTheFourButtons) {
    Create();
    EXPECT_EQ(Ui().BOpenLocal->nextInFocusChain(), Ui().BDownload);
    QWidget* w = Ui().BDownload;
    while (w != Ui().BFlash && w != Ui().BOpenLocal) {
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(w, Ui().BFlash);
    EXPECT_EQ(Ui().BFlash->nextInFocusChain(), Ui().BSwitchOff);
}

TEST_F(MainFormTest, CloseQuestionNoKeepsTheWindowOpenAndYesConfirms) {
    StoreLanguage(LangGerman);
    Create();
    Form->Settings().CfgLanguage = 9; // read as English
    Messages.Answers = {false};
    QCloseEvent refused;
    QApplication::sendEvent(Form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_FALSE(Form->State().CloseConfirmed);
    ASSERT_EQ(Messages.Asked.size(), 1u);
    EXPECT_EQ(Messages.Asked[0].Text, "Are you sure you want to exit the application?");
    EXPECT_EQ(Messages.Asked[0].Caption, "Exit");

    Form->Settings().CfgLanguage = LangGerman;
    Messages.Answers = {true};
    QCloseEvent accepted;
    QApplication::sendEvent(Form.get(), &accepted);
    EXPECT_TRUE(accepted.isAccepted());
    EXPECT_TRUE(Form->State().CloseConfirmed);
    EXPECT_EQ(Messages.Asked[1].Text, "Soll die Anwendung wirklich beendet werden?");
    EXPECT_EQ(Messages.Asked[1].Caption, "Anwendung beenden");
}

TEST_F(MainFormTest, ExitAsksTheSameQuestion) {
    Create();
    Form->show();
    Messages.Answers = {false};
    Ui().MExit->trigger();
    EXPECT_TRUE(Form->isVisible());
    ASSERT_EQ(Messages.Asked.size(), 1u);
    EXPECT_EQ(Messages.Asked[0].Caption, "Exit");
}

TEST_F(MainFormTest, LanguageMenuAppliesTextsAndSavesTheLanguage) {
    Create();
    const int writesAfterStart = Registry.Writes;
    Ui().MLangES->trigger();
    EXPECT_EQ(Form->Settings().CfgLanguage, LangSpanish);
    EXPECT_TRUE(Ui().MLangES->isChecked());
    EXPECT_EQ(Ui().MInfo->text(), "Información...");
    EXPECT_EQ(Key()["Language"], Dword(3));
    // Only what changed: the proxy values may be another program's by now.
    EXPECT_EQ(Registry.Writes, writesAfterStart + 1);
    // The same language again applies; the store already holds it.
    Ui().MLangES->trigger();
    EXPECT_EQ(Registry.Writes, writesAfterStart + 1);
}

TEST_F(MainFormTest, IndexAboveThreeLeavesTheCheckMarkWhereItWas) {
    StoreLanguage(LangGerman);
    Create();
    Form->Settings().CfgLanguage = 200;
    Form->ApplyLanguage();
    EXPECT_TRUE(Ui().MLangGE->isChecked());
    EXPECT_EQ(Form->windowTitle(), "QOR 7316 Firmware Updater");
    EXPECT_EQ(Ui().BDownload->text(), "Download");
}

TEST_F(MainFormTest, FailedSaveAfterALanguageChangeIsShownAndTheLanguageStays) {
    Create();
    Registry.FailingWrites = {"Language"};
    Registry.WriteCause = TStoreCause::ReadOnly;
    Ui().MLangGE->trigger();
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text, "Fehler beim Setzen der Daten für 'Language'\n" +
                                          std::string(SettingsKeyPath) +
                                          ": der Ordner ist schreibgeschützt");
    EXPECT_EQ(Form->Settings().CfgLanguage, LangGerman);
    EXPECT_EQ(Ui().BFlash->text(), "Update");
    EXPECT_EQ(Ui().BSwitchOff->text(), "Ausschalten");
}

TEST_F(MainFormTest, ASavesNoticesAreShownBeforeItsFailure) {
    StoreLanguage(LangGerman);
    Create();
    QCoreApplication::processEvents();
    Registry.Notices = {{TStoreNotice::TKind::SetAside,
                         {"a.reg", TStoreCause::Damaged, "line 1: not a registry file", true},
                         "a.reg.damaged-1"}};
    Registry.FailingWrites = {"Language"};
    Registry.WriteCause = TStoreCause::DiskFull;
    Ui().MLangEN->trigger();
    ASSERT_EQ(Messages.Shown.size(), 2u);
    EXPECT_EQ(Messages.Shown[0],
              (TShownMessage{"The settings file \"a.reg\" could not be read (the contents are "
                             "damaged). It was kept as \"a.reg.damaged-1\" and the default "
                             "settings are used.",
                             "Error"}));
    EXPECT_EQ(Messages.Shown[1],
              (TShownMessage{"Fehler beim Setzen der Daten für 'Language'\n" +
                                 std::string(SettingsKeyPath) + ": the disk is full",
                             "QOR 7316 Firmware Updater"}));
}

TEST_F(MainFormTest, ASecondReadThatFailsIsShownAndLeavesTheCaptions) {
    StoreLanguage(LangFrench);
    Key()["ProxyPort"] = {RegType::Dword, std::vector<std::uint8_t>(8, 1)};
    Registry.ReadFailure = TStoreFailure{"settings.reg", TStoreCause::LockHeld, "", true};
    Create();
    Messages.Answers = {true};
    Messages.WhileAsked = [&] {
        Registry.ReadFailure.reset();
    };
    Form->ShowStoreNotices();
    EXPECT_EQ(Messages.Asked.size(), 1u);
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0], (TShownMessage{"Fehler beim Holen der Daten für 'ProxyPort'",
                                                "QOR 7316 Firmware Updater"}));
    // Read before the failing value, but the captions stay as they were.
    EXPECT_EQ(Form->Settings().CfgLanguage, LangFrench);
    EXPECT_EQ(Ui().BOpenLocal->text(), "Open");
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(MainFormTest, LoadErrorIsShownAndTheWindowKeepsItsDesignCaptions) {
    StoreLanguage(LangFrench);
    Key()["ProxyPort"] = {RegType::Dword, std::vector<std::uint8_t>(8, 1)};
    Create();
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text, "Fehler beim Holen der Daten für 'ProxyPort'");
    EXPECT_EQ(Messages.Shown[0].Caption, "QOR 7316 Firmware Updater");
    EXPECT_EQ(Registry.Writes, 0);
    // Language was read before the failing value; the captions stay the design ones.
    EXPECT_EQ(Form->Settings().CfgLanguage, LangFrench);
    EXPECT_TRUE(Ui().MLangEN->isChecked());
    EXPECT_EQ(Ui().BOpenLocal->text(), "Lokal öffnen... ");
    EXPECT_TRUE(Ui().LStep2->text().endsWith("öffnen Sie diese lokal."));
    EXPECT_EQ(Ui().LFilenameDesc->text(), "Dateiname:");
    EXPECT_EQ(Ui().MFile->title(), "Datei");
    EXPECT_EQ(Form->windowTitle(), "QOR 7316 Firmware Updater");
    EXPECT_EQ(Form->InfoDialog().windowTitle(), "Info über QOR 7316 Firmware Updater");
}

TEST_F(MainFormTest, LockedStoreIsNotWrittenAndTheUserIsAskedOnceTheWindowIsShown) {
    StoreLanguage(LangFrench);
    const auto stored = Key();
    Registry.ReadFailure = TStoreFailure{"/home/u/settings.reg", TStoreCause::LockHeld, "", true};
    Create();
    EXPECT_EQ(Form->Settings().CfgLanguage, LangEnglish);
    EXPECT_EQ(Ui().BOpenLocal->text(), "Open");
    EXPECT_TRUE(Messages.Asked.empty()); // not before the window is there

    Form->show();
    bool visibleWhenAsked = false;
    Messages.WhileAsked = [&] {
        visibleWhenAsked = Form->isVisible();
    };
    Messages.Answers = {false};
    QCoreApplication::processEvents();
    EXPECT_TRUE(visibleWhenAsked);
    ASSERT_EQ(Messages.Asked.size(), 1u);
    EXPECT_EQ(Messages.Asked[0].Text,
              "The settings in \"/home/u/settings.reg\" could not be read (locked by another "
              "program). For now the default settings are used; the stored settings are left as "
              "they are.\n\nRead the settings again now?");
    EXPECT_EQ(Messages.Asked[0].Caption, "Error");
    EXPECT_EQ(Registry.Writes, 0);
    EXPECT_EQ(Key(), stored);
    EXPECT_EQ(Form->Settings().CfgLanguage, LangEnglish);
}

TEST_F(MainFormTest, ReadingALockedStoreAgainBringsItsSettings) {
    StoreLanguage(LangFrench);
    Registry.ReadFailure = TStoreFailure{"settings.reg", TStoreCause::LockHeld, "", true};
    Create();
    Form->show();
    // Still locked at the first try, free at the second.
    Messages.Answers = {true, true};
    Messages.WhileAsked = [&] {
        if (Messages.Asked.size() == 2) {
            Registry.ReadFailure.reset();
        }
    };
    Form->ShowStoreNotices();
    EXPECT_EQ(Messages.Asked.size(), 2u);
    EXPECT_EQ(Form->Settings().CfgLanguage, LangFrench);
    EXPECT_EQ(Ui().BOpenLocal->text(), "Ouvrir");
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(MainFormTest, StoreNoticesAreInTheLoadedLanguage) {
    StoreLanguage(LangSpanish);
    Registry.Notices = {{TStoreNotice::TKind::SetAside,
                         {"a.reg", TStoreCause::Damaged, "line 1: not a registry file", true},
                         "a.reg.damaged-1"}};
    Create();
    EXPECT_TRUE(Messages.Shown.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text,
              "No se ha podido leer el archivo de configuración «a.reg» (el contenido está "
              "dañado). Se ha guardado como «a.reg.damaged-1» y se utiliza la configuración "
              "predeterminada.");
    EXPECT_EQ(Messages.Shown[0].Caption, "Error");
}

TEST_F(MainFormTest, AboutIsRefusedWhileAnUpdateRunsAndCentredOtherwise) {
    Create();
    Form->show();
    DuringAnUpdate([&] {
        Form->MInfoClick(); // would block in exec() if it opened the dialog
        EXPECT_FALSE(Form->InfoDialog().isVisible());
    });

    for (const QPoint at : {QPoint(100, 80), QPoint(40, 30)}) {
        Form->move(at);
        bool shown = false;
        QPoint placed;
        QTimer::singleShot(0, [&] {
            shown = Form->InfoDialog().isVisible();
            placed = Form->InfoDialog().pos();
            Form->InfoDialog().reject();
        });
        Form->MInfoClick();
        EXPECT_TRUE(shown);
        const QRect outer = Form->frameGeometry();
        const QSize dialog = Form->InfoDialog().frameGeometry().size();
        EXPECT_EQ(placed, QPoint(outer.left() + (outer.width() - dialog.width()) / 2,
                                 outer.top() + (outer.height() - dialog.height()) / 2));
    }
    // Partly off the screen: the position is not clamped. Halves round toward zero.
    Form->move(-301, -201);
    const QRect outer = Form->frameGeometry();
    const QSize dialog = Form->InfoDialog().frameGeometry().size();
    EXPECT_LT(Form->InfoDialogPosition().x(), 0);
    EXPECT_EQ(Form->InfoDialogPosition(),
              QPoint(outer.left() + (outer.width() - dialog.width()) / 2,
                     outer.top() + (outer.height() - dialog.height()) / 2));
}

TEST_F(MainFormTest, PicturesAreLoaded) {
    Create();
    for (TPicture* picture : {Ui().Image1, Ui().Image2, Ui().ImgNotConnected, Ui().ImgSearch,
                              Ui().ImgFlash, Ui().ImgSuccess}) {
        EXPECT_TRUE(picture->isLoaded()) << picture->objectName().toStdString();
    }
}

TEST_F(MainFormTest, SerialTimerShowsTheDeviceInTheCurrentLanguage) {
    Create();
    Form->SerialTimerTimer();
    EXPECT_EQ(Ui().LQORStatus->text(), "QOR 7316 not connected");
    EXPECT_EQ(Ui().LQORStatus->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_FALSE(Ui().BFlash->isEnabled());

    Bus.AddDevice("QOR 7316");
    for (int tick = 0; tick < 5; ++tick) {
        Form->SerialTimerTimer();
    }
    EXPECT_EQ(Ui().LQORStatus->text(), "QOR 7316 connected");
    EXPECT_EQ(Ui().LQORStatus->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(Ui().LQORBootldrVersion->text(), "1.3a");
    // Which unit it is, for whoever looks closer.
    EXPECT_EQ(Ui().LQORStatus->toolTip(), "port VQ0, serial VQ731600");

    Ui().MLangGE->trigger();
    Form->SerialTimerTimer();
    EXPECT_EQ(Ui().LQORStatus->text(), "QOR 7316 verbunden");
}

TEST_F(MainFormTest, AnUnopenableDeviceExplainsItselfInTheStatusTooltip) {
    Create();
    Bus.AddDevice("QOR 7316").OpenRefusal = "Permission denied opening /dev/ttyUSB0";
    Form->SerialTimerTimer();
    EXPECT_EQ(Ui().LQORStatus->text(), "Connect");
    EXPECT_TRUE(Ui().LQORStatus->toolTip().contains("Permission denied"));
}

TEST_F(MainFormTest, OpenAndUpdateFromTheWindowReachTheDevice) {
    const std::string path = Scratch / "main-form-update.bin";
    {
        const TByteVector image = MakeFirmwareImage(63488, "105a");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    }
    bool asked = false;
    ChooseFile = [&](QWidget*) {
        asked = true;
        return QString::fromStdString(path);
    };
    Create();
    TVirtualDevice& device = ConnectDevice();
    ASSERT_TRUE(Ui().BOpenLocal->isEnabled());
    EXPECT_EQ(Ui().L2->palette().color(QPalette::WindowText),
              QPalette().color(QPalette::WindowText));
    EXPECT_FALSE(Ui().BFlash->isEnabled()); // nothing loaded yet
    QTest::mouseClick(Ui().BOpenLocal, Qt::LeftButton);
    EXPECT_TRUE(asked);
    Form->DisplayTimerTimer();
    EXPECT_EQ(Ui().LFWFileStatus->text(), "Firmware loaded!");
    EXPECT_EQ(Ui().LFWFilename->text(), "main-form-update.bin");
    EXPECT_EQ(Ui().LFWVersion->text(), "105a");
    ASSERT_TRUE(Ui().BFlash->isEnabled());

    device.Frames.clear();
    QTest::mouseClick(Ui().BFlash, Qt::LeftButton);
    EXPECT_EQ(device.FrameCount(CmdWriteBlock), 124u);
    EXPECT_EQ(Ui().PBFW->value(), 991);
    Form->DisplayTimerTimer();
    EXPECT_EQ(Ui().LFlashStatus->text(), "Update finished successfully!");
    EXPECT_TRUE(Ui().ImgSuccess->isVisibleTo(Form.get()));
    EXPECT_TRUE(Messages.Shown.empty());

    device.Frames.clear();
    QTest::mouseClick(Ui().BSwitchOff, Qt::LeftButton);
    EXPECT_EQ(device.FrameCount(CmdPowerOff), 1u);
    Form->SerialTimerTimer();
    EXPECT_EQ(Ui().LQORStatus->text(), "QOR 7316 not connected");
    Form->DisplayTimerTimer();
    EXPECT_EQ(Ui().LFWFileStatus->text(), "No firmware loaded");
}

TEST_F(MainFormTest, DownloadFromTheWindowLoadsTheImageForTheDevicesVariant) {
    const TByteVector image = MakeFirmwareImage(129024, "107b");
    Http.Body.assign(image.begin(), image.end());
    Http.ContentLengths = {std::to_string(image.size())};
    Create();
    Form->show();
    ConnectDevice(TBootloaderConfig::VariantB());
    ASSERT_TRUE(Ui().BDownload->isEnabled());

    // Closes the dialog once its transfer has ended, as the user would.
    QTimer closer;
    QPoint placed;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<qor::TFWOnlineForm*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->Display.Started() && !dialog->Display.Busy()) {
            placed = dialog->pos();
            dialog->BCancelClick();
        }
    });
    closer.start(20);
    QTest::mouseClick(Ui().BDownload, Qt::LeftButton);
    closer.stop();

    EXPECT_EQ(Http.Request->Path, "/qor-7316-b.bin");
    Form->DisplayTimerTimer();
    EXPECT_EQ(Ui().LFWFileStatus->text(), "Firmware loaded!");
    EXPECT_EQ(Ui().LFWFilename->text(), "qor-7316.bin");
    EXPECT_EQ(Ui().LFWVersion->text(), "107b");
    EXPECT_TRUE(Messages.Shown.empty());
    const QRect outer = Form->frameGeometry();
    // Both windows have the same frame, so the outer widths differ as the inner ones do.
    EXPECT_EQ(placed.x(), outer.left() + (753 - 460) / 2);

    // A dialog closed without success drops the loaded image.
    Http.Status = "404";
    closer.start(20);
    Form->BDownloadClick();
    closer.stop();
    Form->DisplayTimerTimer();
    EXPECT_EQ(Ui().LFWFileStatus->text(), "No firmware loaded");
}

TEST_F(MainFormTest, DownloadIsRefusedWhileAnUpdateRuns) {
    Create();
    DuringAnUpdate([&] {
        Form->BDownloadClick(); // would block in the dialog if it opened one
    });
    EXPECT_EQ(Http.Sessions, 0);
}
