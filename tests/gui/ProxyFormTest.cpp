// The proxy dialog driven through its controls, saving into an in-memory registry.
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "gui/TProxyForm.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/MemoryRegistry.h"
#include "qortest/RecordingMessageBox.h"
#include "qortest/RegValues.h"
#include "qortest/ScratchDir.h"
#include "qortest/SystemProtection.h"
#include "settings/SettingsStore.h"

using namespace qor;
using namespace qor::test;

namespace {

class ProxyFormTest : public ::testing::Test {
protected:
    TMemoryRegistry Registry;
    TSettingsStore Store{Registry};
    TSettings Settings;
    TFakeDataProtection Protection;
    TRecordingMessageBox Messages;
    std::unique_ptr<TProxyForm> Form;
    const std::vector<std::uint8_t> StoredBlob = TFakeDataProtection::BlobOf("old-secret");

    ProxyFormTest() {
        Settings.CfgLanguage = LangEnglish;
        Settings.CfgUseProxy = true;
        Settings.CfgProxyServer = "proxy.lan";
        Settings.CfgProxyPort = 3128;
        Settings.CfgUseProxyAuth = true;
        Settings.CfgProxyUser = "tech";
        Settings.CfgProxyPassword = StoredBlob;
    }

    void Create() {
        Form = std::make_unique<TProxyForm>(
            Settings, Protection, [this] { return Store.Save(Settings); }, Messages);
        Form->show();
    }

    std::map<std::string, TRegValue>& Key() { return Registry.Keys[SettingsKeyPath]; }

    void ClickPassword() { QTest::mouseClick(Form->EProxyPassword, Qt::LeftButton); }

    void SetPort(const QString& text) {
        Form->MEProxyPort->clear();
        Form->MEProxyPort->setText(text);
    }
};

} // namespace

TEST_F(ProxyFormTest, OpensAsDesignedWithCaptionsInTheLanguage) {
    Settings.CfgLanguage = 9; // read as English
    Create();
    EXPECT_EQ(Form->windowTitle(), "Proxy");
    EXPECT_TRUE(Form->windowFlags() & Qt::Tool);
    EXPECT_EQ(Form->size(), QSize(259, 253));
    EXPECT_EQ(Form->font().family(), "Tahoma");
    EXPECT_EQ(Form->font().pixelSize(), 11);

    const std::vector<std::pair<QWidget*, QRect>> layout = {
        {Form->CBProxyActive, {8, 11, 97, 17}},
        {Form->LProxyAddressDesc, {8, 37, 39, 13}},
        {Form->EProxyServer, {8, 56, 180, 21}},
        {Form->LProxyPortDesc, {204, 37, 20, 13}},
        {Form->MEProxyPort, {204, 56, 41, 21}},
        {Form->CBProxyAuth, {8, 93, 207, 17}},
        {Form->LProxyUserDesc, {8, 119, 207, 13}},
        {Form->EProxyUser, {8, 138, 180, 21}},
        {Form->LProxyPasswordDesc, {8, 168, 207, 13}},
        {Form->EProxyPassword, {8, 187, 180, 21}},
        {Form->BOK, {8, 220, 75, 25}},
        {Form->BCancel, {91, 220, 75, 25}},
        {Form->BApply, {172, 220, 75, 25}},
    };
    for (const auto& [widget, rect] : layout) {
        // A label is wider where its caption needs it (tested with every window's labels).
        QRect shown = widget->geometry();
        if (qobject_cast<QLabel*>(widget) != nullptr && shown.width() > rect.width()) {
            shown.setWidth(rect.width());
        }
        EXPECT_EQ(shown, rect) << widget->objectName().toStdString();
    }
    EXPECT_EQ(Form->findChild<QLabel*>("Label2")->geometry(), QRect(194, 59, 4, 13));

    EXPECT_EQ(Form->CBProxyActive->text(), "Active");
    EXPECT_EQ(Form->LProxyAddressDesc->text(), "Address");
    EXPECT_EQ(Form->LProxyPortDesc->text(), "Port");
    EXPECT_EQ(Form->CBProxyAuth->text(), "Authentification");
    EXPECT_EQ(Form->LProxyUserDesc->text(), "Username");
    EXPECT_EQ(Form->LProxyPasswordDesc->text(), "Password");
    EXPECT_EQ(Form->BOK->text(), "OK");
    EXPECT_EQ(Form->BCancel->text(), "Cancel");
    EXPECT_EQ(Form->BApply->text(), "Apply");
    EXPECT_EQ(Form->EProxyPassword->echoMode(), QLineEdit::Password);

    // The tab order: the check box, the three buttons, then the edits.
    std::vector<QString> order;
    QWidget* widget = Form->CBProxyActive;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible()) {
            order.push_back(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != Form->CBProxyActive);
    EXPECT_THAT(order, ::testing::ElementsAre("CBProxyActive", "BOK", "BCancel", "BApply",
                                              "EProxyServer", "CBProxyAuth", "EProxyUser",
                                              "EProxyPassword", "MEProxyPort"));

    Form.reset();
    Settings.CfgLanguage = LangGerman;
    Create();
    EXPECT_EQ(Form->BApply->text(), "Übernehmen");
    EXPECT_EQ(Form->BCancel->text(), "Abbrechen");
}

TEST_F(ProxyFormTest, ShowsTheStoredValuesAndAlwaysThePlaceholder) {
    Settings.CfgProxyPassword.clear();
    Create();
    EXPECT_TRUE(Form->CBProxyActive->isChecked());
    EXPECT_EQ(Form->EProxyServer->text(), "proxy.lan");
    EXPECT_EQ(Form->MEProxyPort->text(), "3128");
    EXPECT_TRUE(Form->CBProxyAuth->isChecked());
    EXPECT_EQ(Form->EProxyUser->text(), "tech");
    EXPECT_EQ(Form->EProxyPassword->text(), "**********");
    EXPECT_FALSE(Form->BApply->isEnabled());
    EXPECT_FALSE(Form->PasswordEdited);

    Form.reset();
    Settings.CfgProxyPort = 0;
    Create();
    EXPECT_EQ(Form->MEProxyPort->text(), "0");
}

TEST_F(ProxyFormTest, OkAtOnceRewritesAllSevenValuesAndKeepsTheBlob) {
    Create();
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Registry.Writes, 7);
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, StoredBlob}));
    EXPECT_EQ(Key()["ProxyServer"].Data,
              (std::vector<std::uint8_t>{'p', 'r', 'o', 'x', 'y', '.', 'l', 'a', 'n', 0}));
    EXPECT_EQ(Protection.ProtectCalls, 0);
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
}

TEST_F(ProxyFormTest, ChangingTheServerEnablesApplyAndKeepsThePassword) {
    Create();
    QTest::keyClicks(Form->EProxyServer, "2");
    EXPECT_TRUE(Form->BApply->isEnabled());
    EXPECT_FALSE(Form->PasswordEdited);
    QTest::mouseClick(Form->BApply, Qt::LeftButton);
    EXPECT_EQ(Settings.CfgProxyServer, "proxy.lan2");
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
    EXPECT_FALSE(Form->BApply->isEnabled());
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(ProxyFormTest, ClickIntoThePasswordClearsItOnceUntilTheNextApply) {
    Create();
    ClickPassword();
    EXPECT_EQ(Form->EProxyPassword->text(), "");
    EXPECT_TRUE(Form->PasswordEdited);
    EXPECT_TRUE(Form->BApply->isEnabled());
    QTest::keyClicks(Form->EProxyPassword, "n3w");
    ClickPassword();
    EXPECT_EQ(Form->EProxyPassword->text(), "n3w");

    QTest::mouseClick(Form->BApply, Qt::LeftButton);
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf("n3w"));
    EXPECT_EQ(Key()["ProxyPassword"].Data, TFakeDataProtection::BlobOf("n3w"));
    EXPECT_FALSE(Form->PasswordEdited);
    EXPECT_FALSE(Form->BApply->isEnabled());
    EXPECT_EQ(Form->EProxyPassword->text(), "n3w");
    ClickPassword();
    EXPECT_EQ(Form->EProxyPassword->text(), "");
}

TEST_F(ProxyFormTest, EmptiedPasswordIsStoredAsTheProtectedZeroByte) {
    Create();
    ClickPassword();
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_THAT(Protection.LastPlaintext, ::testing::ElementsAre(0));
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf(""));
    EXPECT_FALSE(Key()["ProxyPassword"].Data.empty());
}

TEST_F(ProxyFormTest, TypingAfterTabbingInReplacesThePlaceholder) {
    Create();
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Form->EProxyPassword, &tabbedIn);
    QTest::keyClicks(Form->EProxyPassword, "typed");
    EXPECT_EQ(Form->EProxyPassword->text(), "typed");
    EXPECT_TRUE(Form->PasswordEdited);
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf("typed"));
}

TEST_F(ProxyFormTest, PortIsReadFromTheShownTextAndWrittenBackAsStored) {
    Create();
    const std::vector<std::tuple<QString, std::int32_t, QString>> cases = {
        {"  80 ", 80, "80"}, {"8 0", 0, "0"},           {"08080", 8080, "8080"},
        {"", 0, "0"},        {"99999", 99999, "99999"},
    };
    for (const auto& [typed, port, shown] : cases) {
        SCOPED_TRACE(typed.toStdString());
        SetPort(typed);
        QTest::mouseClick(Form->BApply, Qt::LeftButton);
        EXPECT_EQ(Settings.CfgProxyPort, port);
        EXPECT_EQ(Form->MEProxyPort->text(), shown);
        EXPECT_FALSE(Form->BApply->isEnabled());
    }
    // Only digits can be typed, at most five.
    SetPort("");
    Form->MEProxyPort->setCursorPosition(0);
    QTest::keyClicks(Form->MEProxyPort, "12a3456");
    EXPECT_EQ(Form->MEProxyPort->text(), "12345");
}

// A stored port the edit cannot show (the store edited by hand) is no reason to change it: OK
// and Apply keep it as stored until the port is typed anew.
TEST_F(ProxyFormTest, PortTheEditCannotShowIsKeptUntilItIsTyped) {
    for (const std::int32_t stored : {-5, 123456}) {
        SCOPED_TRACE(stored);
        Settings.CfgProxyPort = stored;
        Create();
        QTest::mouseClick(Form->BOK, Qt::LeftButton);
        EXPECT_FALSE(Form->isVisible());
        EXPECT_EQ(Settings.CfgProxyPort, stored);
        EXPECT_EQ(Key()["ProxyPort"], Dword(static_cast<std::uint32_t>(stored)));

        Create();
        QTest::keyClicks(Form->EProxyServer, "2");
        QTest::mouseClick(Form->BApply, Qt::LeftButton);
        QTest::mouseClick(Form->BApply, Qt::LeftButton); // after its own write-back too
        EXPECT_EQ(Settings.CfgProxyServer, "proxy.lan2");
        EXPECT_EQ(Settings.CfgProxyPort, stored);
        EXPECT_TRUE(Form->isVisible());

        Form->MEProxyPort->selectAll();
        QTest::keyClicks(Form->MEProxyPort, "8080");
        QTest::mouseClick(Form->BOK, Qt::LeftButton);
        EXPECT_EQ(Settings.CfgProxyPort, 8080);
        EXPECT_EQ(Key()["ProxyPort"], Dword(8080));
        Settings.CfgProxyServer = "proxy.lan";
    }
}

TEST_F(ProxyFormTest, ClearingActiveKeepsTheOtherValues) {
    Create();
    Form->CBProxyActive->setChecked(false);
    EXPECT_TRUE(Form->BApply->isEnabled());
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_FALSE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyServer, "proxy.lan");
    EXPECT_EQ(Settings.CfgProxyPort, 3128);
    EXPECT_EQ(Settings.CfgProxyUser, "tech");
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
}

TEST_F(ProxyFormTest, CancelKeepsAnEarlierApplyAndOtherwiseChangesNothing) {
    Create();
    Form->EProxyServer->setText("first.lan");
    QTest::mouseClick(Form->BApply, Qt::LeftButton);
    const int writes = Registry.Writes;
    Form->EProxyServer->setText("second.lan");
    QTest::mouseClick(Form->BCancel, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Form->result(), QDialog::Rejected);
    EXPECT_EQ(Settings.CfgProxyServer, "first.lan");
    EXPECT_EQ(Registry.Writes, writes);
    // Any close empties the user and password edits.
    EXPECT_EQ(Form->EProxyUser->text(), "");
    EXPECT_EQ(Form->EProxyPassword->text(), "");

    // The close box without Apply.
    const TSettings before = Settings;
    Form.reset();
    Create();
    Form->EProxyUser->setText("someone");
    Form->close();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Settings, before);
}

TEST_F(ProxyFormTest, EscapeDoesNotCloseTheDialog) {
    Create();
    QTest::keyClick(Form.get(), Qt::Key_Escape);
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(ProxyFormTest, FailedSaveIsShownAndKeepsTheDialogOpen) {
    Create();
    Registry.FailingWrites.insert("ProxyPort");
    ClickPassword();
    QTest::keyClicks(Form->EProxyPassword, "pw");
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_TRUE(Form->isVisible());
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text, "Fehler beim Setzen der Daten für 'ProxyPort'\n" +
                                          std::string(SettingsKeyPath) +
                                          ": the test refused 'ProxyPort'");
    EXPECT_TRUE(Form->BApply->isEnabled());
    EXPECT_TRUE(Form->PasswordEdited);
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf("pw"));

    Registry.FailingWrites.clear();
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(ProxyFormTest, PasswordThatCannotBeProtectedKeepsTheStoredOneAndSaysSo) {
    Protection.FailProtect = true;
    Settings.CfgLanguage = LangFrench;
    Create();
    ClickPassword();
    QTest::keyClicks(Form->EProxyPassword, "pw");
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    EXPECT_TRUE(Form->isVisible());
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text,
              "Le mot de passe n'a pas pu être protégé et n'a pas été enregistré.");
    EXPECT_EQ(Messages.Shown[0].Caption, "Erreur");
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
    EXPECT_EQ(Key()["ProxyPassword"].Data, StoredBlob);
    EXPECT_TRUE(Form->PasswordEdited);
}

TEST_F(ProxyFormTest, TheStoreNeverHoldsThePasswordInPlain) {
    Create();
    ClickPassword();
    const std::string password = "Geheim-42";
    QTest::keyClicks(Form->EProxyPassword, QString::fromStdString(password));
    QTest::mouseClick(Form->BOK, Qt::LeftButton);
    ASSERT_EQ(Key().size(), 7u);
    for (const auto& [name, value] : Key()) {
        const bool found = std::search(value.Data.begin(), value.Data.end(), password.begin(),
                                       password.end()) != value.Data.end();
        EXPECT_FALSE(found) << name;
    }
}

TEST_F(ProxyFormTest, TheLongestPasswordStillLoadsAtTheNextStart) {
    const TScratchDir scratch;
    const std::string keyFile = scratch / "proxy-form-test.key";
    const auto protection = MakeSystemProtection(keyFile);
    Form = std::make_unique<TProxyForm>(
        Settings, *protection, [this] { return Store.Save(Settings); }, Messages);
    ClickPassword();
    QTest::keyClicks(Form->EProxyPassword, QString(5000, 'x'));
    Form->BApplyClick();
    EXPECT_EQ(Form->EProxyPassword->text().size(), 1024);

    TSettings reloaded;
    EXPECT_TRUE(TSettingsStore(Registry).Load(reloaded));
    const auto plain = protection->Unprotect(reloaded.CfgProxyPassword);
    ASSERT_TRUE(plain.Ok());
    EXPECT_EQ(plain->Size(), 1025u); // the password and its terminating zero
}
