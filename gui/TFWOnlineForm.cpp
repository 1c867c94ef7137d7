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
    : QDialog(owner), Ui(std::make_unique<::Ui::TFWOnlineForm>()), Settings(settings),
      Transfer(settings, protection, std::move(sessions), std::move(files)) {
    Transfer.Server = std::move(server);
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

void TFWOnlineForm::FormCreate() {
    State.DownloadOK = false;
    State.SizeKnown = false;
    State.Busy = false;
    State.TotalBytes = 0;
    State.ReceivedBytes = 0;
    State.Started = false;
    StartTimer.start();
    State.DeviceVariant = TVariantKind::Other;
}

void TFWOnlineForm::StartTimerTimer() {
    if (State.Started) {
        return;
    }
    State.Started = true;
    DownloadFirmware();
}

void TFWOnlineForm::ShowTransfer() {
    ShowTransferStep(State, View, Settings.CfgLanguage);
    Render();
}

bool TFWOnlineForm::DownloadFirmware() {
    const TDownloadOutcome outcome =
        Transfer.DownloadFirmware(State, DownloadPathOf(State.DeviceVariant), [this] {
            ShowTransfer();
            QCoreApplication::processEvents();
        });
    ShowTransfer();
    if (CloseRequested) {
        CloseRequested = false;
        close();
    }
    return outcome.Ok();
}

void TFWOnlineForm::DisplayTimerTimer() {
    DownloadDisplayTick(State, View, Settings.CfgLanguage, QLocale().decimalPoint().toStdString());
    Render();
}

void TFWOnlineForm::BCancelClick() {
    if (State.Busy) {
        State.Busy = false;
    } else {
        close();
    }
}

bool TFWOnlineForm::FormCloseQuery() {
    if (State.Busy) {
        return false;
    }
    if (State.Running) {
        CloseRequested = true;
        return false;
    }
    return true;
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
    const TDownloadView& view = View;
    LStatus->setText(QString::fromStdString(view.LStatus));
    // Why it failed, in the failing layer's words, for whoever looks closer.
    LStatus->setToolTip(QString::fromStdString(State.FailureDetail()));
    PBFWProgress->setValue(view.PBFWProgress);
    if (!view.BCancel.empty()) {
        BCancel->setText(QString::fromStdString(view.BCancel));
    }
}

} // namespace qor
