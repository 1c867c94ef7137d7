#include <gtest/gtest.h>

#include "platform/SettingsStore.h"
#include "support/MemoryRegistry.h"
#include "support/RegValues.h"

using namespace qor;
using qor::test::Dword;
using qor::test::TextValue;
using qor::test::TMemoryRegistry;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TMemoryRegistry Registry;
    TSettings Settings;

    std::map<std::string, TRegValue>& Key() { return Registry.Keys[SettingsKeyPath]; }

    void StoreAll(std::uint32_t language) {
        Key()["Language"] = Dword(language);
        Key()["UseProxy"] = Dword(1);
        Key()["ProxyServer"] = TextValue("proxy.local");
        Key()["ProxyPort"] = Dword(3128);
        Key()["UseProxyAuth"] = Dword(1);
        Key()["ProxyUser"] = TextValue("tech");
        Key()["ProxyPassword"] = {RegType::Binary, {1, 2, 3}};
    }

    std::string LoadError() {
        try {
            LoadSettings(Registry, Settings);
        } catch (const ERegistryError& e) {
            return e.what();
        }
        return "no error";
    }
};

} // namespace

TEST_F(SettingsStoreTest, FirstRunCreatesAllSevenValuesWithTheirDefaults) {
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgLanguage, 1);
    ASSERT_EQ(Key().size(), 7u);
    EXPECT_EQ(Key()["Language"], Dword(1));
    EXPECT_EQ(Key()["UseProxy"], Dword(0));
    EXPECT_EQ(Key()["ProxyServer"], (TRegValue{RegType::Sz, {0}}));
    EXPECT_EQ(Key()["ProxyPort"], Dword(0));
    EXPECT_EQ(Key()["UseProxyAuth"], Dword(0));
    EXPECT_EQ(Key()["ProxyUser"], (TRegValue{RegType::Sz, {0}}));
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {}}));
}

TEST_F(SettingsStoreTest, CompleteValuesAreReadWithoutWriteBack) {
    StoreAll(258); // low 8 bits are 2: French, a valid index
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgLanguage, 2);
    EXPECT_TRUE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyServer, "proxy.local");
    EXPECT_EQ(Settings.CfgProxyPort, 3128);
    EXPECT_TRUE(Settings.CfgUseProxyAuth);
    EXPECT_EQ(Settings.CfgProxyUser, "tech");
    EXPECT_EQ(Settings.CfgProxyPassword, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(Registry.Writes, 0);
    EXPECT_EQ(Key()["Language"], Dword(258));
}

TEST_F(SettingsStoreTest, LanguageOutOfRangeBecomesEnglishAndIsRewritten) {
    StoreAll(7);
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_EQ(Key()["Language"], Dword(1));
    EXPECT_EQ(Registry.Writes, 7);
    EXPECT_EQ(Key()["ProxyServer"], TextValue("proxy.local"));
}

TEST_F(SettingsStoreTest, OneMissingValueRewritesAllWithTheValuesJustRead) {
    StoreAll(2);
    Key().erase("Language");
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_EQ(Registry.Writes, 7);
    EXPECT_EQ(Key()["ProxyPort"], Dword(3128));
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {1, 2, 3}}));
}

TEST_F(SettingsStoreTest, NumbersAndTextsAreTakenAsStored) {
    StoreAll(0);
    Key()["ProxyPort"] = Dword(70000);
    Key()["UseProxy"] = Dword(42);
    Key()["ProxyServer"] = {RegType::Sz, {'a', 'b', 0, 'c', 'd', 0}};
    Key()["ProxyUser"] = {RegType::ExpandSz, {'%', 'U', '%', 0}};
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgProxyPort, 70000);
    EXPECT_TRUE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyServer, "ab");
    EXPECT_EQ(Settings.CfgProxyUser, "%U%"); // not expanded
    Key()["ProxyPort"] = Dword(0xFFFFFFF6u);
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgProxyPort, -10);
}

TEST_F(SettingsStoreTest, EmptyTextOfAnyTypeIsTheEmptyText) {
    StoreAll(0);
    Key()["ProxyServer"] = {RegType::Binary, {}};
    Key()["ProxyUser"] = {RegType::Dword, {}};
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgProxyServer, "");
    EXPECT_EQ(Settings.CfgProxyUser, "");
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(SettingsStoreTest, PasswordOfAnotherTypeReadsAsMissing) {
    StoreAll(0);
    Key()["ProxyPassword"] = TextValue("plain");
    LoadSettings(Registry, Settings);
    EXPECT_TRUE(Settings.CfgProxyPassword.empty());
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {}}));
}

TEST_F(SettingsStoreTest, PasswordUpTo4096BytesIsReadAndLargerIsAnError) {
    StoreAll(0);
    Key()["ProxyPassword"] = {RegType::Binary, std::vector<std::uint8_t>(4096, 0xAB)};
    LoadSettings(Registry, Settings);
    EXPECT_EQ(Settings.CfgProxyPassword.size(), 4096u);

    Settings = TSettings{};
    Key()["ProxyPassword"] = {RegType::Binary, std::vector<std::uint8_t>(4097, 0xAB)};
    EXPECT_EQ(LoadError(), "Ungültiger Datentyp für 'ProxyPassword'");
    EXPECT_EQ(Settings.CfgProxyUser, "tech"); // read before the failing value
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(SettingsStoreTest, UnreadableValueStopsTheLoadThereWithoutWriteBack) {
    StoreAll(2);
    Key()["ProxyPort"] = {RegType::Binary, {1, 2, 3, 4, 5, 6, 7, 8}};
    Key().erase("ProxyUser"); // would force a write-back if the load got that far
    EXPECT_EQ(LoadError(), "Fehler beim Holen der Daten für 'ProxyPort'");
    EXPECT_EQ(Settings.CfgLanguage, 2);
    EXPECT_EQ(Settings.CfgProxyServer, "proxy.local");
    EXPECT_EQ(Settings.CfgProxyPort, 0);
    EXPECT_FALSE(Settings.CfgUseProxyAuth);
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(SettingsStoreTest, ReadErrorsNameTheValue) {
    struct Case {
        const char* Name = nullptr;
        TRegValue Value;
        const char* Error = nullptr;
    } cases[] = {
        {"Language",
         {RegType::Dword, std::vector<std::uint8_t>(8, 0)},
         "Fehler beim Holen der Daten für 'Language'"},
        {"UseProxy", TextValue("1"), "Ungültiger Datentyp für 'UseProxy'"},
        {"UseProxyAuth", {RegType::Binary, {1, 0, 0, 0}}, "Ungültiger Datentyp für 'UseProxyAuth'"},
        {"ProxyServer", Dword(5), "Ungültiger Datentyp für 'ProxyServer'"},
        {"ProxyUser", {RegType::Binary, {'x'}}, "Ungültiger Datentyp für 'ProxyUser'"},
    };
    for (const auto& c : cases) {
        StoreAll(0);
        Key()[c.Name] = c.Value;
        Settings = TSettings{};
        EXPECT_EQ(LoadError(), c.Error) << c.Name;
    }
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(SettingsStoreTest, FailedWriteNamesTheValueAndStopsThere) {
    Settings.CfgProxyServer = "p";
    Registry.FailingWrites = {"ProxyPort"};
    try {
        SaveSettings(Registry, Settings);
        FAIL() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Setzen der Daten für 'ProxyPort'");
    }
    EXPECT_EQ(Key().size(), 3u); // Language, UseProxy, ProxyServer
    EXPECT_EQ(Key().count("UseProxyAuth"), 0u);
}

TEST_F(SettingsStoreTest, UnavailableKeyGivesDefaultsAndAFailedWriteBack) {
    Registry.KeyUnavailable = true;
    EXPECT_EQ(LoadError(), "Fehler beim Setzen der Daten für 'Language'");
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_TRUE(Registry.Keys.empty());
}
