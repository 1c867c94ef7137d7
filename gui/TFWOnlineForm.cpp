#include "gui/TFWOnlineForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLocale>

#include "gui/DesignFonts.h"
#include "presenter/DownloadDisplay.h"
#include "ui_TFWOnlineForm.h"

namespace qor {
namespace {

constexpr int DisplayInterval = 50;
constexpr int StartInterval = 500;

} // namespace

TFWOnlineForm::TFWOnlineForm(const TSettings& settings, IDataProtection& protection,
                             THttpSessionFactory sessions, TDownloadFiles files,
                             TDownloadServer server, QWidget* owner)
    : QDialog(owner), Display([this] {
          // While the transfer waits, the dialog shows its step and serves its events.
          ShowTransfer();
          QCoreApplication::processEvents();
      }),
      Ui(std::make_unique<::Ui::TFWOnlineForm>()), Settings(settings), Server(std::move(server)),
      Transfer(protection, std::move(sessions), std::move(files)) {
    Ui->setupUi(this);
    PBFWProgress = Ui->PBFWProgress;
    LStatus = Ui->LStatus;
    BCancel = Ui->BCancel;
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(width(), height());
    ApplyDesignFonts(this);

    DisplayTimer.setInterval(DisplayInterval);
    StartTimer.setInterval(StartInterval);
    connect(&DisplayTimer, &QTimer::timeout, this, &TFWOnlineForm::DisplayTimerTimer);
    connect(&StartTimer, &QTimer::timeout, this, &TFWOnlineForm::StartTimerTimer);
    connect(BCancel, &QPushButton::clicked, this, &TFWOnlineForm::BCancelClick);
    DisplayTimer.start();

    FormCreate();
}

TFWOnlineForm::~TFWOnlineForm() = default;

// Display starts with nothing begun and the variant "other", which the main window overwrites.
void TFWOnlineForm::FormCreate() {
    StartTimer.start();
}

void TFWOnlineForm::StartTimerTimer() {
    if (Display.Start()) {
        DownloadFirmware();
    }
}

void TFWOnlineForm::ShowTransfer() {
    Display.ShowStep(Settings.CfgLanguage);
    Render();
}

bool TFWOnlineForm::DownloadFirmware() {
    Display.Begin();
    Display.End(Transfer.DownloadFirmware(
        TDownloadRequest{Display.DeviceVariant, Settings, std::nullopt, Server}, Display));
    ShowTransfer();
    if (Display.TakeCloseRequest()) {
        close();
    }
    return Display.DownloadOK();
}

void TFWOnlineForm::DisplayTimerTimer() {
    Display.Tick(Settings.CfgLanguage, QLocale().decimalPoint().toStdString());
    Render();
}

void TFWOnlineForm::BCancelClick() {
    if (Display.CancelClick()) {
        close();
    }
}

bool TFWOnlineForm::FormCloseQuery() {
    return Display.CloseQuery();
}

void TFWOnlineForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFWOnlineForm::reject() {
    // Escape and the close box take the same way as a close.
    if (FormCloseQuery()) {
        QDialog::reject();
    }
}

void TFWOnlineForm::Render() {
    const TDownloadView& view = Display.View();
    LStatus->setText(QString::fromStdString(view.LStatus));
    LStatus->setToolTip(QString::fromStdString(view.LStatusTip));
    PBFWProgress->setValue(view.PBFWProgress);
    if (!view.BCancel.empty()) {
        BCancel->setText(QString::fromStdString(view.BCancel));
    }
}

} // namespace qor
