// The main window: three steps, the device picture with its state images and marks, the
// menus, the two 100 ms timers. Behaviour lives in the presenter; the handlers here call it
// and copy what it shows onto the widgets.
#pragma once

#include <QActionGroup>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "base/Settings.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/HttpSession.h"
#include "flow/ServiceLogRecorder.h"
#include "presenter/MainPresenter.h"
#include "settings/SettingsSession.h"

namespace Ui {
class TMainForm;
}
namespace qor {
class IDataProtection;
class IDevicePort;
class IMessageBox;
class IRegistryStore;
} // namespace qor
class QCloseEvent;
class TInfoDialog;

// What the window works with, handed in so that the product, the demo and the tests can
// each give their own.
struct TMainFormServices {
    qor::IRegistryStore& Registry;
    qor::IMessageBox& Messages;
    qor::IDevicePort& Port;
    qor::IDataProtection& Protection;
    // Asks for a firmware file to open; an empty text when the user cancels. Unset: the
    // window's own open dialog.
    std::function<QString(QWidget* parent)> ChooseFirmwareFile = {};
    // Where the open dialog starts; empty: wherever the toolkit starts it.
    QString FirmwareFolder = {};
    // The download's HTTP client and files; unset: the system's and the user's private temp dir.
    qor::THttpSessionFactory Sessions = {};
    qor::TDownloadFiles Files = {};
    // The product's download server unless the demo or a test names another.
    qor::TDownloadServer Server = {};
    // Where the records of the updates are kept; unset: the user's service log.
    std::optional<qor::TServiceLog> ServiceLog = {};
    // Asks where to save the service report; an empty text when the user cancels. Unset: the
    // window's own save dialog.
    std::function<QString(QWidget* parent)> ChooseReportFile = {};
};

class TMainForm : public QMainWindow, private qor::IUpdateHost, private qor::IStoreNotices {
    Q_OBJECT
public:
    explicit TMainForm(TMainFormServices services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Settings store. A save tells what the store has to say before it returns; its failure
    // is the caller's to show.
    qor::TResult<void, qor::TStoreError> LoadSettings();
    qor::TResult<void, qor::TStoreError> SaveSettings();
    // Puts the current language's captions on this window and the About dialog.
    void ApplyLanguage();
    // Tells what the settings store has to say; runs once the window is shown, and reads a
    // store that was locked again when the user asks for it.
    Q_INVOKABLE void ShowStoreNotices();

    // Handlers, named after their control and event.
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void MExitClick();
    void MInfoClick();
    // ? > Save service report...: the program, the system, the device and the service log,
    // into a text file the user chooses.
    void MServiceReportClick();
    void MLangGEClick();
    void MLangENClick();
    void MLangFRClick();
    void MLangESClick();
    void SerialTimerTimer();
    void DisplayTimerTimer();
    void BOpenLocalClick();
    void BFlashClick();
    void BSwitchOffClick();
    void BDownloadClick();
    void Proxy1Click();

    qor::TSettings& Settings() { return Cfg; }
    qor::TMainPresenter& Presenter() { return Main; }
    const qor::TMainModel& State() const { return Main.State(); }
    Ui::TMainForm& Controls() { return *Ui; }
    // The About dialog, made the first time it is needed.
    TInfoDialog& InfoDialog();
    QTimer& SerialTimer() { return SerialTick; }
    QTimer& DisplayTimer() { return DisplayTick; }
    // The outer position of the About dialog over this window, as MInfoClick places it.
    QPoint InfoDialogPosition();
    // The outer size of a window of ours, frame included.
    QSize OuterSize(const QWidget& window) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetLanguage(QAction* item, std::uint8_t language);
    void SetInfoTexts();
    // Shows why the settings could not be loaded or saved, as the application's error display
    // shows an error.
    void ShowStoreError(const qor::TStoreError& error);
    // After a load: the loaded language on the captions, or why the load failed (the captions
    // then stay as they are).
    void TakeLoadedSettings(const qor::TResult<void, qor::TStoreError>& loaded);
    // The store's notices in message boxes, in the settings' language; a store another program
    // holds locked comes with the question whether to read it again.
    bool Tell(const qor::TStoreNotice& notice) override;
    void ReadAgain(const qor::TResult<void, qor::TStoreError>& loaded) override;
    // Copies the display model onto the widgets when it changed since the last time.
    void Render();
    void RenderStepNumbers();
    // Lets pending messages run between two blocks of an update.
    void ProcessMessages() override;
    void ProcessMessagesWhileWaiting() override;
    // The open dialog: default extension "bin", .bin files or all files, the file must exist.
    QString OpenFirmwareDlg();

    TMainFormServices Services;
    std::unique_ptr<Ui::TMainForm> Ui;
    QActionGroup Languages; // the four language items, one checked at a time
    // Created when first opened and reused; a child window, so it opens over this one. Most
    // runs never open it, and its pictures and texts cost the start-up.
    std::unique_ptr<TInfoDialog> Info;
    // The language the captions were last set in; none while they are the design ones.
    std::optional<std::uint8_t> CaptionLanguage;
    QTimer SerialTick;
    QTimer DisplayTick;
    qor::TSettings Cfg;
    qor::TSettingsSession Session{Services.Registry, Cfg};
    qor::TMainPresenter Main;
    // What the widgets show now: the timers render ten times a second, mostly unchanged.
    std::optional<qor::TMainView> Shown;
    std::unique_ptr<qor::TServiceLogRecorder> Recorder;
};
