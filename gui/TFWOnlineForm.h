// The firmware download dialog: runs one transfer shortly after it opens, shows its
// progress and lets the user cancel it; the outcome stays in State for the main window.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

#include "base/Settings.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/DownloadState.h"
#include "download/DownloadTransfer.h"
#include "download/HttpSession.h"
#include "presenter/DownloadDisplay.h"
#include "secrets/DataProtection.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class TFWOnlineForm;
}

namespace qor {

class TFWOnlineForm : public QDialog {
    Q_OBJECT

public:
    TFWOnlineForm(const TSettings& settings, IDataProtection& protection,
                  THttpSessionFactory sessions, TDownloadFiles files, TDownloadServer server = {},
                  QWidget* owner = nullptr);
    ~TFWOnlineForm() override;
    TFWOnlineForm(const TFWOnlineForm&) = delete;
    TFWOnlineForm& operator=(const TFWOnlineForm&) = delete;

    // DownloadOK, TempFilePath, DeviceVariant and the rest of the transfer's fields. The main
    // window sets DeviceVariant after creation and reads the outcome after the dialog closed.
    TDownloadState State;
    TDownloadView View;

    void FormCreate();
    void StartTimerTimer();
    void DisplayTimerTimer();
    void BCancelClick();
    // False while a transfer is running: the dialog stays open.
    bool FormCloseQuery();
    bool DownloadFirmware();

    // Controls, owned by the dialog.
    QProgressBar* PBFWProgress = nullptr;
    QLabel* LStatus = nullptr;
    QPushButton* BCancel = nullptr;
    QTimer DisplayTimer;
    QTimer StartTimer;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // Shows the transfer's step (connecting, a failure) and copies the view onto the widgets.
    void ShowTransfer();
    // Copies the view onto the widgets.
    void Render();

    std::unique_ptr<Ui::TFWOnlineForm> Ui;
    const TSettings& Settings;
    TDownloadTransfer Transfer;
    // A close asked for after Cancel while the transfer was still unwinding; done at its end.
    bool CloseRequested = false;
};

} // namespace qor
