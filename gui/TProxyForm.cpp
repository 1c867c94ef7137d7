#include "gui/TProxyForm.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <span>

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "gui/DesignFonts.h"
#include "gui/LabelFit.h"
#include "platform/SecretBytes.h"
#include "presenter/ProxySettings.h"
#include "ui_TProxyForm.h"

namespace qor {
namespace {

// Stands for the stored password, which is never shown.
constexpr const char* PasswordPlaceholder = "**********";
constexpr const char* PasswordEchoStyle = "QLineEdit { lineedit-password-character: 42; }";
// Far more than any proxy password; it keeps the protected blob within what the settings
// store reads back at the next start.
constexpr int MaxPasswordLength = 1024;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TProxyForm::TProxyForm(TSettings& settings, IDataProtection& protection, TSaveSettings saveSettings,
                       IMessageBox& messages, QWidget* owner)
    : QDialog(owner), Ui(std::make_unique<::Ui::TProxyForm>()), Settings(settings),
      Protection(protection), SaveSettings(std::move(saveSettings)), Messages(messages) {
    Ui->setupUi(this);
    CBProxyActive = Ui->CBProxyActive;
    LProxyAddressDesc = Ui->LProxyAddressDesc;
    EProxyServer = Ui->EProxyServer;
    LProxyPortDesc = Ui->LProxyPortDesc;
    MEProxyPort = Ui->MEProxyPort;
    CBProxyAuth = Ui->CBProxyAuth;
    LProxyUserDesc = Ui->LProxyUserDesc;
    EProxyUser = Ui->EProxyUser;
    LProxyPasswordDesc = Ui->LProxyPasswordDesc;
    EProxyPassword = Ui->EProxyPassword;
    BOK = Ui->BOK;
    BCancel = Ui->BCancel;
    BApply = Ui->BApply;

    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(width(), height());
    ApplyDesignFonts(this);
    EProxyPassword->setStyleSheet(PasswordEchoStyle);
    EProxyPassword->setMaxLength(MaxPasswordLength);
    EProxyPassword->installEventFilter(this);

    connect(CBProxyActive, &QCheckBox::toggled, this, &TProxyForm::CBProxyActiveClick);
    connect(CBProxyAuth, &QCheckBox::toggled, this, &TProxyForm::CBProxyActiveClick);
    connect(EProxyServer, &QLineEdit::textChanged, this, &TProxyForm::EProxyServerChange);
    connect(EProxyUser, &QLineEdit::textChanged, this, &TProxyForm::EProxyServerChange);
    connect(EProxyPassword, &QLineEdit::textChanged, this, &TProxyForm::EProxyPasswordChange);
    connect(MEProxyPort, &QLineEdit::textChanged, this, &TProxyForm::MEProxyPortChange);
    connect(BOK, &QPushButton::clicked, this, &TProxyForm::BOKClick);
    connect(BCancel, &QPushButton::clicked, this, &TProxyForm::BCancelClick);
    connect(BApply, &QPushButton::clicked, this, &TProxyForm::BApplyClick);

    FormCreate();
}

TProxyForm::~TProxyForm() = default;

void TProxyForm::FormCreate() {
    CBProxyActive->setChecked(Settings.CfgUseProxy);
    EProxyServer->setText(Text(Settings.CfgProxyServer));
    MEProxyPort->setText(QString::number(Settings.CfgProxyPort));
    CBProxyAuth->setChecked(Settings.CfgUseProxyAuth);
    EProxyUser->setText(Text(Settings.CfgProxyUser));
    EProxyPassword->setText(PasswordPlaceholder);

    const std::uint8_t language = Settings.CfgLanguage;
    CBProxyActive->setText(Txt(TxtProxyActive, language));
    LProxyAddressDesc->setText(Txt(TxtProxyAddress, language));
    LProxyPortDesc->setText(Txt(TxtProxyPort, language));
    CBProxyAuth->setText(Txt(TxtProxyAuth, language));
    LProxyUserDesc->setText(Txt(TxtProxyUser, language));
    LProxyPasswordDesc->setText(Txt(TxtProxyPassword, language));
    FitToText({LProxyAddressDesc, LProxyPortDesc, LProxyUserDesc, LProxyPasswordDesc});
    BCancel->setText(Txt(TxtCancel, language));
    BApply->setText(Txt(TxtApply, language));

    // Filling the controls has run their change handlers; this is the unchanged state.
    BApply->setEnabled(false);
    PasswordEdited = false;
    PortEdited = false;
}

void TProxyForm::CBProxyActiveClick() {
    BApply->setEnabled(true);
}

void TProxyForm::EProxyServerChange() {
    BApply->setEnabled(true);
}

void TProxyForm::EProxyPasswordChange() {
    BApply->setEnabled(true);
    PasswordEdited = true;
}

void TProxyForm::MEProxyPortChange() {
    BApply->setEnabled(true);
    PortEdited = true;
}

void TProxyForm::EProxyPasswordClick() {
    if (PasswordEdited) {
        return; // a typed password is not cleared by a later click
    }
    EProxyPassword->clear();
    PasswordEdited = true;
    BApply->setEnabled(true);
}

bool TProxyForm::ApplyProxySettings() {
    TProxyDialogInput input;
    input.ProxyActive = CBProxyActive->isChecked();
    input.Server = EProxyServer->text().toStdString();
    // The shown text, blanks of empty positions included, so that "8 0" reads as unusable.
    if (PortEdited) {
        input.PortText = MEProxyPort->displayText().toStdString();
    }
    input.ProxyAuth = CBProxyAuth->isChecked();
    input.User = EProxyUser->text().toStdString();
    input.PasswordEdited = PasswordEdited;

    QByteArray password = input.PasswordEdited ? EProxyPassword->text().toUtf8() : QByteArray();
    const TProxyApplyResult result = qor::ApplyProxySettings(
        Settings, input,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(password.constData()),
                                      static_cast<std::size_t>(password.size())),
        Protection, SaveSettings);
    SecureWipe(password.data(), static_cast<std::size_t>(password.size()));

    MEProxyPort->setText(Text(result.PortText));
    // The edit shows the stored port again (as far as it can); only typing changes it.
    PortEdited = false;
    if (result.PasswordNotProtected) {
        Messages.ShowMessage(Txt(TxtPasswordNotProtected, Settings.CfgLanguage),
                             Txt(TxtError, Settings.CfgLanguage));
    }
    if (result.SaveError) {
        Messages.ShowMessage(*result.SaveError, ApplicationTitle);
    }
    if (!result.Completed()) {
        return false;
    }
    BApply->setEnabled(false);
    PasswordEdited = false;
    return true;
}

void TProxyForm::BApplyClick() {
    ApplyProxySettings();
}

void TProxyForm::BOKClick() {
    if (ApplyProxySettings()) {
        accept();
    }
}

void TProxyForm::BCancelClick() {
    reject();
}

void TProxyForm::FormClose() {
    EProxyUser->clear();
    EProxyPassword->clear();
}

void TProxyForm::done(int result) {
    FormClose();
    QDialog::done(result);
}

bool TProxyForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EProxyPassword && event->type() == QEvent::MouseButtonPress) {
        EProxyPasswordClick();
    }
    return QDialog::eventFilter(watched, event);
}

void TProxyForm::keyPressEvent(QKeyEvent* event) {
    // Neither Escape nor Enter has a meaning for the whole dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace qor
