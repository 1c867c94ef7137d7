#include "gui/TMainForm.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>

#include "base/FixedTexts.h"
#include "base/MessageBox.h"
#include "base/TextTable.h"
#include "download/SystemHttp.h"
#include "gui/DesignFonts.h"
#include "gui/LabelFit.h"
#include "gui/TInfoDialog.h"
#include "settings/StoreTexts.h"
#include "ui_TMainForm.h"

using namespace qor;

namespace {

constexpr QSize ClientSize(753, 696);

QString Text(TTextId id, std::uint8_t language) {
    return QString::fromUtf8(Txt(id, language));
}

QColor ColourOf(TColour colour) {
    switch (colour) {
    case TColour::Maroon:
        return {128, 0, 0};
    case TColour::Green:
        return {0, 128, 0};
    case TColour::Grey:
        return {200, 200, 200}; // the classic scroll-bar colour
    case TColour::WindowText:
        break;
    }
    return QPalette().color(QPalette::WindowText);
}

void SetColour(QWidget* widget, TColour colour) {
    const QColor wanted = ColourOf(colour);
    if (widget->palette().color(QPalette::WindowText) != wanted) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, wanted);
        widget->setPalette(palette);
    }
}

void SetLabel(QLabel* label, const TLabelView& view) {
    const QString text = QString::fromStdString(view.Text);
    if (label->text() != text) {
        label->setText(text);
        FitToText(label);
    }
    SetColour(label, view.Colour);
}

} // namespace

TMainForm::TMainForm(TMainFormServices services, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint),
      Services(services), Ui(std::make_unique<Ui::TMainForm>()), Languages(this),
      Main(services.Port, services.Messages, Cfg) {
    if (!Services.Sessions) {
        Services.Sessions = SystemHttpSessions();
    }
    if (!Services.Files.TempDirectory || !Services.Files.WriteFile) {
        Services.Files = PlatformDownloadFiles();
    }
    Recorder = std::make_unique<TServiceLogRecorder>(Services.ServiceLog ? *Services.ServiceLog
                                                                         : UserServiceLog());
    Main.SetRecorder(Recorder.get());
    Q_INIT_RESOURCE(pictures);
    setObjectName("MainForm");
    Ui->setupUi(this);
    ApplyDesignFonts(this);
    centralWidget()->setFixedSize(ClientSize);
    setFixedSize(ClientSize.width(), ClientSize.height() + menuBar()->sizeHint().height());
    move(0, 0);

    for (QAction* item : {Ui->MLangGE, Ui->MLangEN, Ui->MLangFR, Ui->MLangES}) {
        Languages.addAction(item);
    }

    connect(Ui->MExit, &QAction::triggered, this, &TMainForm::MExitClick);
    connect(Ui->MInfo, &QAction::triggered, this, &TMainForm::MInfoClick);
    connect(Ui->MServiceReport, &QAction::triggered, this, &TMainForm::MServiceReportClick);
    connect(Ui->MLangGE, &QAction::triggered, this, &TMainForm::MLangGEClick);
    connect(Ui->MLangEN, &QAction::triggered, this, &TMainForm::MLangENClick);
    connect(Ui->MLangFR, &QAction::triggered, this, &TMainForm::MLangFRClick);
    connect(Ui->MLangES, &QAction::triggered, this, &TMainForm::MLangESClick);
    connect(Ui->BOpenLocal, &QPushButton::clicked, this, &TMainForm::BOpenLocalClick);
    connect(Ui->BFlash, &QPushButton::clicked, this, &TMainForm::BFlashClick);
    connect(Ui->BSwitchOff, &QPushButton::clicked, this, &TMainForm::BSwitchOffClick);
    connect(Ui->BDownload, &QPushButton::clicked, this, &TMainForm::BDownloadClick);
    connect(Ui->Proxy1, &QAction::triggered, this, &TMainForm::Proxy1Click);
    connect(&SerialTick, &QTimer::timeout, this, &TMainForm::SerialTimerTimer);
    connect(&DisplayTick, &QTimer::timeout, this, &TMainForm::DisplayTimerTimer);

    // Both timers run from creation; their first ticks arrive once the event loop runs.
    SerialTick.start(100);
    DisplayTick.start(100);

    FormCreate();
    RenderStepNumbers();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    // The counters, flags and step start as the presenter was made. After a failed load the
    // window still comes up, with its design captions.
    TakeLoadedSettings(LoadSettings());
    // Over the window, not in place of it: it is shown before the event loop runs this.
    QMetaObject::invokeMethod(this, "ShowStoreNotices", Qt::QueuedConnection);
}

TResult<void, TStoreError> TMainForm::LoadSettings() {
    return Session.Load();
}

TResult<void, TStoreError> TMainForm::SaveSettings() {
    return Session.Save(*this);
}

void TMainForm::ShowStoreError(const TStoreError& error) {
    Services.Messages.ShowMessage(StoreErrorText(error, Cfg.CfgLanguage), ApplicationTitle);
}

void TMainForm::TakeLoadedSettings(const TResult<void, TStoreError>& loaded) {
    if (loaded) {
        ApplyLanguage();
    } else {
        ShowStoreError(loaded.Error());
    }
}

void TMainForm::ShowStoreNotices() {
    Session.TellNotices(*this);
}

bool TMainForm::Tell(const TStoreNotice& notice) {
    const std::uint8_t language = Cfg.CfgLanguage;
    const std::string text = StoreNoticeText(notice, language);
    const char* caption = Txt(TxtError, language);
    if (MayReadAgain(notice)) {
        return Services.Messages.AskYesNo(text + "\n\n" + Txt(TxtStoreReadAgain, language),
                                          caption);
    }
    Services.Messages.ShowMessage(text, caption);
    return false;
}

void TMainForm::ReadAgain(const TResult<void, TStoreError>& loaded) {
    TakeLoadedSettings(loaded);
}

void TMainForm::ApplyLanguage() {
    const std::uint8_t lang = Cfg.CfgLanguage;
    QAction* const items[] = {Ui->MLangGE, Ui->MLangEN, Ui->MLangFR, Ui->MLangES};
    if (lang < LanguageCount) {
        items[lang]->setChecked(true);
    }
    setWindowTitle(Text(TxtAppTitle, lang));
    Ui->MFile->setTitle(Text(TxtMenuFile, lang));
    Ui->MExit->setText(Text(TxtMenuExit, lang));
    Ui->MSettings->setTitle(Text(TxtMenuSettings, lang));
    Ui->MLanguage->setTitle(Text(TxtMenuLanguage, lang));
    Ui->MInfo->setText(Text(TxtMenuInfo, lang) + "...");
    Ui->MServiceReport->setText(Text(TxtMenuServiceReport, lang) + "...");
    Ui->GBFWFile->setTitle(Text(TxtFirmwareFile, lang));
    Ui->LStep1->setText(Text(TxtStep1, lang));
    Ui->LStep2->setText(Text(TxtStep2, lang));
    Ui->LStep3->setText(Text(TxtStep3, lang));
    Ui->LBootldrVersionDesc->setText(Text(TxtBootloaderVersion, lang));
    Ui->LFirmwareVersionDesc->setText(Text(TxtFirmwareVersion, lang));
    Ui->LChecksumDesc->setText(Text(TxtChecksum, lang));
    Ui->BFlash->setText(Text(TxtUpdate, lang));
    Ui->BSwitchOff->setText(Text(TxtPowerOff, lang));
    Ui->LFilenameDesc->setText(Text(TxtFileName, lang));
    Ui->LVersionDesc->setText(Text(TxtVersion, lang));
    FitToText({Ui->LBootldrVersionDesc, Ui->LFirmwareVersionDesc, Ui->LChecksumDesc,
               Ui->LFilenameDesc, Ui->LVersionDesc});
    Ui->BDownload->setText(Text(TxtDownload, lang));
    Ui->BOpenLocal->setText(Text(TxtOpen, lang));
    CaptionLanguage = lang;
    if (Info) {
        SetInfoTexts();
    }
}

void TMainForm::SetInfoTexts() {
    Info->SetTexts(Text(TxtAppTitle, *CaptionLanguage), Text(TxtServiceAddress, *CaptionLanguage),
                   Text(TxtContactPerson, *CaptionLanguage));
}

TInfoDialog& TMainForm::InfoDialog() {
    if (!Info) {
        Info = std::make_unique<TInfoDialog>(this);
        // Made later, it shows what it would show had it been there all along.
        if (CaptionLanguage) {
            SetInfoTexts();
        }
    }
    return *Info;
}

void TMainForm::SetLanguage(QAction* item, std::uint8_t language) {
    item->setChecked(true);
    Cfg.CfgLanguage = language;
    ApplyLanguage();
    if (const auto saved = SaveSettings(); !saved) {
        ShowStoreError(saved.Error());
    }
}

void TMainForm::MLangGEClick() {
    SetLanguage(Ui->MLangGE, LangGerman);
}
void TMainForm::MLangENClick() {
    SetLanguage(Ui->MLangEN, LangEnglish);
}
void TMainForm::MLangFRClick() {
    SetLanguage(Ui->MLangFR, LangFrench);
}
void TMainForm::MLangESClick() {
    SetLanguage(Ui->MLangES, LangSpanish);
}

void TMainForm::FormCloseQuery(bool& canClose) {
    const bool yes = Services.Messages.AskYesNo(Txt(TxtExitQuestion, Cfg.CfgLanguage),
                                                Txt(TxtExitTitle, Cfg.CfgLanguage));
    canClose = yes;
    Main.SetCloseConfirmed(yes);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    FormCloseQuery(canClose);
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TMainForm::MExitClick() {
    close();
}

QSize TMainForm::OuterSize(const QWidget& window) const {
    // Before a window's first showing its frame is not known yet; ours all have the same
    // decorations as this one.
    const QSize outer = window.frameGeometry().size();
    if (!window.isVisible() && outer == window.size()) {
        return outer + (frameGeometry().size() - size());
    }
    return outer;
}

QPoint TMainForm::InfoDialogPosition() {
    const QRect outer = frameGeometry();
    const QSize dialog = OuterSize(InfoDialog());
    return {outer.left() + (outer.width() - dialog.width()) / 2,
            outer.top() + (outer.height() - dialog.height()) / 2};
}

void TMainForm::MInfoClick() {
    if (Main.UpdateRunning()) {
        return;
    }
    InfoDialog().move(InfoDialogPosition());
    InfoDialog().exec();
}

void TMainForm::Render() {
    const TMainView& view = Main.View();
    if (Shown == view) {
        return;
    }
    Shown = view;
    SetLabel(Ui->LQORStatus, view.LQORStatus);
    Ui->LQORStatus->setToolTip(QString::fromStdString(view.LQORStatusTip));
    SetLabel(Ui->LQORBootldrVersion, view.LQORBootldrVersion);
    SetLabel(Ui->LQORFWVersion, view.LQORFWVersion);
    SetLabel(Ui->LQORChecksum, view.LQORChecksum);
    SetLabel(Ui->LFWFileStatus, view.LFWFileStatus);
    SetLabel(Ui->LFWFilename, view.LFWFilename);
    SetLabel(Ui->LFWVersion, view.LFWVersion);
    SetLabel(Ui->LFlashStatus, view.LFlashStatus);
    Ui->PBFW->setValue(view.PBFW);
    RenderStepNumbers();
    Ui->BDownload->setEnabled(view.BDownload);
    Ui->BOpenLocal->setEnabled(view.BOpenLocal);
    Ui->BFlash->setEnabled(view.BFlash);
    Ui->BSwitchOff->setEnabled(view.BSwitchOff);
    Ui->GBFWFile->setEnabled(view.GBFWFile);
    Ui->ImgNotConnected->setVisible(view.ImgNotConnected);
    Ui->ImgSearch->setVisible(view.ImgSearch);
    Ui->ImgFlash->setVisible(view.ImgFlash);
    Ui->ImgSuccess->setVisible(view.ImgSuccess);
    Ui->ShClamp30->setVisible(view.ShClamp30);
    Ui->ShHVRelay->setVisible(view.ShHVRelay);
    Ui->ShPower->setVisible(view.ShPower);
}

void TMainForm::RenderStepNumbers() {
    const TMainView& view = Main.View();
    SetColour(Ui->L1, view.L1);
    SetColour(Ui->L2, view.L2);
    SetColour(Ui->L3, view.L3);
}
