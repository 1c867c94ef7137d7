// Reading the port text and committing the proxy dialog's values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "presenter/ProxySettings.h"
#include "qortest/FakeDataProtection.h"

using namespace qor;
using namespace qor::test;
using ::testing::ElementsAre;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class ApplyProxySettingsTest : public ::testing::Test {
protected:
    TSettings Settings;
    TFakeDataProtection Protection;
    int Saves = 0;
    TSaveSettings Save = [this]() -> TResult<void, TStoreError> {
        ++Saves;
        return {};
    };
    TProxyDialogInput Input{.ProxyActive = true,
                            .Server = " proxy.lan ",
                            .PortText = "08080",
                            .ProxyAuth = true,
                            .User = "tech",
                            .PasswordEdited = false};
    const std::vector<std::uint8_t> StoredBlob = {9, 8, 7, 6, 5};

    ApplyProxySettingsTest() { Settings.CfgProxyPassword = StoredBlob; }
};

} // namespace

TEST(ProxyPortTest, BlanksAroundAreIgnoredAndAnythingButDigitsIsZero) {
    EXPECT_EQ(ParseProxyPort("  80 "), 80);
    EXPECT_EQ(ParseProxyPort("\t80\r\n"), 80);
    EXPECT_EQ(ParseProxyPort("08080"), 8080);
    EXPECT_EQ(ParseProxyPort("99999"), 99999);
    EXPECT_EQ(ParseProxyPort("8 0  "), 0);
    EXPECT_EQ(ParseProxyPort("     "), 0);
    EXPECT_EQ(ParseProxyPort(""), 0);
    EXPECT_EQ(ParseProxyPort("-80"), 0);
    EXPECT_EQ(ParseProxyPort("99999999999"), 0);
}

TEST_F(ApplyProxySettingsTest, StoresTheValuesAsEnteredAndKeepsTheBlobWhenNotEdited) {
    const TProxyApplyResult result =
        ApplyProxySettings(Settings, Input, Bytes("ignored"), Protection, Save);
    EXPECT_TRUE(result.Completed());
    EXPECT_EQ(result.PortText, "8080");
    EXPECT_TRUE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyServer, " proxy.lan ");
    EXPECT_EQ(Settings.CfgProxyPort, 8080);
    EXPECT_TRUE(Settings.CfgUseProxyAuth);
    EXPECT_EQ(Settings.CfgProxyUser, "tech");
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
    EXPECT_EQ(Protection.ProtectCalls, 0);
    EXPECT_EQ(Saves, 1);
}

TEST_F(ApplyProxySettingsTest, EditedPasswordIsProtectedWithItsZeroAndTheDescription) {
    Input.PasswordEdited = true;
    ApplyProxySettings(Settings, Input, Bytes("pa\xDFword"), Protection, Save);
    EXPECT_THAT(Protection.LastPlaintext, ElementsAre('p', 'a', 0xDF, 'w', 'o', 'r', 'd', 0));
    EXPECT_EQ(Protection.LastDescription, u"qwomvetrbaxluY718HKOPJdnz");
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf("pa\xDFword"));

    // An emptied edit stores the protection of the empty password, not "no password".
    ApplyProxySettings(Settings, Input, Bytes(""), Protection, Save);
    EXPECT_THAT(Protection.LastPlaintext, ElementsAre(0));
    EXPECT_FALSE(Settings.CfgProxyPassword.empty());
    EXPECT_EQ(Settings.CfgProxyPassword, TFakeDataProtection::BlobOf(""));
}

TEST_F(ApplyProxySettingsTest, FailedProtectionKeepsTheStoredBlobAndSaysSo) {
    Input.PasswordEdited = true;
    Protection.FailProtect = true;
    const TProxyApplyResult result =
        ApplyProxySettings(Settings, Input, Bytes("new"), Protection, Save);
    EXPECT_FALSE(result.Completed());
    EXPECT_TRUE(result.PasswordNotProtected);
    EXPECT_EQ(Settings.CfgProxyPassword, StoredBlob);
    EXPECT_EQ(Saves, 1); // the other values are still saved
}

TEST_F(ApplyProxySettingsTest, PortNotTypedKeepsTheStoredOneWhateverItIs) {
    Settings.CfgProxyPort = -5;
    Input.PortText.reset();
    const TProxyApplyResult result =
        ApplyProxySettings(Settings, Input, Bytes(""), Protection, Save);
    EXPECT_TRUE(result.Completed());
    EXPECT_EQ(Settings.CfgProxyPort, -5);
    EXPECT_EQ(result.PortText, "-5");
    EXPECT_EQ(Settings.CfgProxyServer, " proxy.lan "); // the rest is applied as ever
    EXPECT_EQ(Saves, 1);
}

TEST_F(ApplyProxySettingsTest, FailedSaveIsReportedAndTheValuesStayInForce) {
    Settings.CfgLanguage = LangEnglish;
    Save = []() -> TResult<void, TStoreError> {
        return Fail(
            TStoreError{TStoreError::TKind::SetDataFailed,
                        "ProxyPort",
                        {"HKEY_CURRENT_USER\\Software\\A", TStoreCause::DiskFull, "", true}});
    };
    Input.PortText = " 3128";
    const TProxyApplyResult result =
        ApplyProxySettings(Settings, Input, Bytes(""), Protection, Save);
    EXPECT_FALSE(result.Completed());
    // In the settings' language.
    EXPECT_EQ(result.SaveError, "Fehler beim Setzen der Daten für 'ProxyPort'\n"
                                "HKEY_CURRENT_USER\\Software\\A: the disk is full");
    EXPECT_EQ(Settings.CfgProxyPort, 3128);
    EXPECT_EQ(Settings.CfgProxyUser, "tech");
}
