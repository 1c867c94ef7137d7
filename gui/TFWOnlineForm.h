// The firmware download dialog: runs one transfer shortly after it opens, shows its
// progress and lets the user cancel it; the image stays in Display for the main window.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

#include "base/Settings.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
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

    // The main window sets its DeviceVariant after creation and takes the image after the
    // dialog closed.
    TDownloadDisplay Display;

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
    TDownloadServer Server;
    TDownloadTransfer Transfer;
};

} // namespace qor
