#include "platform/WinRegistryStore.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/SettingsStore.h"
#include "base/TextTable.h"
#include "support/RegValues.h"
#include "windows/TestRegistryRoot.h"

namespace qor {
namespace {

using TBytes = std::vector<std::uint8_t>;

using test::Dword;
using test::ZeroTerminated;

class WinRegistryTest : public ::testing::Test {
protected:
    std::optional<TRegValue> Stored(const std::string& name) const {
        return Root.Read(SettingsKeyPath, name);
    }
    void Put(const std::string& name, DWORD type, const TBytes& data) const {
        Root.Write(SettingsKeyPath, name, type, data);
    }
    // The message LoadSettings raised, or "" when it raised none.
    std::string LoadError() {
        try {
            LoadSettings(Store, Settings);
        } catch (const ERegistryError& error) {
            return error.what();
        }
        return {};
    }

    test::TTestRegistryRoot Root;
    TWinRegistryStore Store{Root.Get()};
    TSettings Settings;
};

TEST_F(WinRegistryTest, FirstRunCreatesTheKeyWithTheSevenValuesInTheirRegistryTypesAndSizes) {
    ASSERT_FALSE(Stored("Language"));

    LoadSettings(Store, Settings);

    EXPECT_EQ(Settings.CfgLanguage, LangEnglish);
    EXPECT_EQ(Stored("Language"), Dword(1));
    EXPECT_EQ(Stored("UseProxy"), Dword(0));
    EXPECT_EQ(Stored("ProxyServer"), (TRegValue{REG_SZ, {0}})); // the empty text: one zero byte
    EXPECT_EQ(Stored("ProxyPort"), Dword(0));
    EXPECT_EQ(Stored("UseProxyAuth"), Dword(0));
    EXPECT_EQ(Stored("ProxyUser"), (TRegValue{REG_SZ, {0}}));
    EXPECT_EQ(Stored("ProxyPassword"), (TRegValue{REG_BINARY, {}})); // length 0, not deleted
}

TEST_F(WinRegistryTest, SavedSettingsComeBackAsTheyWereAndSitInTheRegistryAsExpected) {
    TSettings saved;
    saved.CfgLanguage = LangSpanish;
    saved.CfgUseProxy = true;
    saved.CfgUseProxyAuth = true;
    saved.CfgProxyServer = "proxy.example";
    saved.CfgProxyUser = "technician";
    saved.CfgProxyPort = -8080;
    // A blob of the largest size that is read, zero bytes included.
    saved.CfgProxyPassword.resize(MaxProtectedPasswordSize);
    for (std::size_t i = 0; i < saved.CfgProxyPassword.size(); ++i) {
        saved.CfgProxyPassword[i] = static_cast<std::uint8_t>(i * 7);
    }

    SaveSettings(Store, saved);
    LoadSettings(Store, Settings);

    EXPECT_EQ(Settings, saved);
    EXPECT_EQ(Stored("Language"), Dword(3));
    EXPECT_EQ(Stored("ProxyPort"), Dword(static_cast<std::uint32_t>(-8080)));
    EXPECT_EQ(Stored("ProxyServer"), (TRegValue{REG_SZ, ZeroTerminated("proxy.example")}));
    EXPECT_EQ(Stored("ProxyPassword"), (TRegValue{REG_BINARY, saved.CfgProxyPassword}));
}

TEST_F(WinRegistryTest, ValuesWrittenByOthersAreReadByTheirStoredTypeAndSize) {
    SaveSettings(Store, TSettings{});
    Put("Language", REG_DWORD, Dword(258).Data); // low byte 2: French, no write-back
    Put("ProxyServer", REG_EXPAND_SZ,
        ZeroTerminated("%TEMP%\\proxy"));                 // taken as it is, not expanded
    Put("ProxyUser", REG_SZ, {'a', 'b', 0, 'c', 'd', 0}); // up to the first zero byte

    LoadSettings(Store, Settings);

    EXPECT_EQ(Settings.CfgLanguage, LangFrench);
    EXPECT_EQ(Settings.CfgProxyServer, "%TEMP%\\proxy");
    EXPECT_EQ(Settings.CfgProxyUser, "ab");
    EXPECT_EQ(Stored("Language"), Dword(258));
    EXPECT_EQ(Stored("ProxyServer")->Type, static_cast<std::uint32_t>(REG_EXPAND_SZ));
}

TEST_F(WinRegistryTest, APasswordOfAnotherTypeBecomesAnEmptyBinaryValue) {
    SaveSettings(Store, TSettings{});
    Put("ProxyPassword", REG_SZ, ZeroTerminated("plain"));

    LoadSettings(Store, Settings);

    EXPECT_TRUE(Settings.CfgProxyPassword.empty());
    EXPECT_EQ(Stored("ProxyPassword"), (TRegValue{REG_BINARY, {}}));
}

TEST_F(WinRegistryTest, ValuesThatCannotBeTakenRaiseTheRegistryErrorsWithoutWriteBack) {
    SaveSettings(Store, TSettings{});
    Put("ProxyPassword", REG_BINARY, TBytes(MaxProtectedPasswordSize + 1, 0x55));
    EXPECT_EQ(LoadError(), "Ungültiger Datentyp für 'ProxyPassword'");

    Put("ProxyPassword", REG_BINARY, {});
    Put("ProxyPort", REG_BINARY, TBytes(8, 1));
    EXPECT_EQ(LoadError(), "Fehler beim Holen der Daten für 'ProxyPort'");

    Put("ProxyPort", REG_SZ, {'7', 0});
    EXPECT_EQ(LoadError(), "Ungültiger Datentyp für 'ProxyPort'");
    EXPECT_EQ(Stored("ProxyPort"), (TRegValue{REG_SZ, {'7', 0}}));
}

TEST_F(WinRegistryTest, AKeyThatCannotBeCreatedFailsTheSaveAtTheFirstValue) {
    // A root that was deleted while open: no key can be created below it any more.
    HKEY gone = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(Root.Get(), "gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &gone,
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteTreeA(Root.Get(), "gone"), ERROR_SUCCESS);
    TWinRegistryStore store(gone);

    EXPECT_EQ(store.CreateKey(SettingsKeyPath, TRegAccess::Write), nullptr);
    try {
        SaveSettings(store, TSettings{});
        ADD_FAILURE() << "the save did not fail";
    } catch (const ERegistryError& error) {
        EXPECT_STREQ(error.what(), "Fehler beim Setzen der Daten für 'Language'");
    }
    // Loading from it reads every value as missing and then fails on the write-back.
    TSettings loaded;
    loaded.CfgLanguage = LangSpanish;
    try {
        LoadSettings(store, loaded);
        ADD_FAILURE() << "the load did not fail";
    } catch (const ERegistryError& error) {
        EXPECT_STREQ(error.what(), "Fehler beim Setzen der Daten für 'Language'");
    }
    EXPECT_EQ(loaded.CfgLanguage, LangEnglish);
    ::RegCloseKey(gone);
}

} // namespace
} // namespace qor
