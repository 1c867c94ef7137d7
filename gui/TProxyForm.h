// The proxy settings dialog: shows the stored proxy values (never the password), and on
// Apply or OK writes them to the settings, protects a newly typed password and saves.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "base/MessageBox.h"
#include "base/Settings.h"
#include "presenter/ProxySettings.h"
#include "secrets/DataProtection.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TProxyForm;
}

namespace qor {

class TProxyForm : public QDialog {
    Q_OBJECT

public:
    // `saveSettings` is the main window's save of all seven values; its failure is shown
    // through `messages`.
    TProxyForm(TSettings& settings, IDataProtection& protection, TSaveSettings saveSettings,
               IMessageBox& messages, QWidget* owner = nullptr);
    ~TProxyForm() override;
    TProxyForm(const TProxyForm&) = delete;
    TProxyForm& operator=(const TProxyForm&) = delete;

    // The password edit holds a password typed in this showing (not the placeholder).
    bool PasswordEdited = false;
    // The port edit's text was changed since it last showed the stored port.
    bool PortEdited = false;

    void FormCreate();
    void CBProxyActiveClick();
    void EProxyServerChange();
    void EProxyPasswordChange();
    void MEProxyPortChange();
    void EProxyPasswordClick();
    void BApplyClick();
    void BOKClick();
    void BCancelClick();
    void FormClose();
    // True when everything was stored and saved.
    bool ApplyProxySettings();

    // Controls, owned by the dialog.
    QCheckBox* CBProxyActive = nullptr;
    QLabel* LProxyAddressDesc = nullptr;
    QLineEdit* EProxyServer = nullptr;
    QLabel* LProxyPortDesc = nullptr;
    QLineEdit* MEProxyPort = nullptr;
    QCheckBox* CBProxyAuth = nullptr;
    QLabel* LProxyUserDesc = nullptr;
    QLineEdit* EProxyUser = nullptr;
    QLabel* LProxyPasswordDesc = nullptr;
    QLineEdit* EProxyPassword = nullptr;
    QPushButton* BOK = nullptr;
    QPushButton* BCancel = nullptr;
    QPushButton* BApply = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    std::unique_ptr<Ui::TProxyForm> Ui;
    TSettings& Settings;
    IDataProtection& Protection;
    TSaveSettings SaveSettings;
    IMessageBox& Messages;
};

} // namespace qor
