#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "qortest/MemoryRegistry.h"
#include "qortest/RegValues.h"
#include "settings/SettingsStore.h"
#include "settings/StoreTexts.h"

using namespace qor;
using qor::test::Dword;
using qor::test::TextValue;
using qor::test::TMemoryRegistry;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TMemoryRegistry Registry;
    TSettingsStore Store{Registry};
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

    // What the user reads of a failed load, in the settings' language.
    std::string LoadError() {
        const auto loaded = Store.Load(Settings);
        return loaded ? "no error" : StoreErrorText(loaded.Error(), Settings.CfgLanguage);
    }
};

} // namespace

TEST_F(SettingsStoreTest, FirstRunCreatesAllSevenValuesWithTheirDefaults) {
    EXPECT_TRUE(Store.Load(Settings));
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
    EXPECT_TRUE(Store.Load(Settings));
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
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_EQ(Key()["Language"], Dword(1));
    EXPECT_EQ(Registry.Writes, 1); // what was read as stored stays as it is
    EXPECT_EQ(Key()["ProxyServer"], TextValue("proxy.local"));
}

TEST_F(SettingsStoreTest, OneMissingValueIsWrittenAndTheOthersStayAsStored) {
    StoreAll(2);
    Key().erase("Language");
    Key()["UseProxy"] = Dword(42);
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_EQ(Registry.Writes, 1);
    EXPECT_EQ(Key()["Language"], Dword(1));
    EXPECT_EQ(Key()["UseProxy"], Dword(42));
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {1, 2, 3}}));
}

TEST_F(SettingsStoreTest, NumbersAndTextsAreTakenAsStored) {
    StoreAll(0);
    Key()["ProxyPort"] = Dword(70000);
    Key()["UseProxy"] = Dword(42);
    Key()["ProxyServer"] = {RegType::Sz, {'a', 'b', 0, 'c', 'd', 0}};
    Key()["ProxyUser"] = {RegType::ExpandSz, {'%', 'U', '%', 0}};
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_EQ(Settings.CfgProxyPort, 70000);
    EXPECT_TRUE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyServer, "ab");
    EXPECT_EQ(Settings.CfgProxyUser, "%U%"); // not expanded
    Key()["ProxyPort"] = Dword(0xFFFFFFF6u);
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_EQ(Settings.CfgProxyPort, -10);
}

TEST_F(SettingsStoreTest, EmptyTextOfAnyTypeIsTheEmptyText) {
    StoreAll(0);
    Key()["ProxyServer"] = {RegType::Binary, {}};
    Key()["ProxyUser"] = {RegType::Dword, {}};
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_EQ(Settings.CfgProxyServer, "");
    EXPECT_EQ(Settings.CfgProxyUser, "");
    EXPECT_EQ(Registry.Writes, 0);
}

TEST_F(SettingsStoreTest, PasswordOfAnotherTypeReadsAsMissing) {
    StoreAll(0);
    Key()["ProxyPassword"] = TextValue("plain");
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_TRUE(Settings.CfgProxyPassword.empty());
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {}}));
}

TEST_F(SettingsStoreTest, PasswordUpTo4096BytesIsReadAndLargerIsAnError) {
    StoreAll(0);
    Key()["ProxyPassword"] = {RegType::Binary, std::vector<std::uint8_t>(4096, 0xAB)};
    EXPECT_TRUE(Store.Load(Settings));
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

TEST_F(SettingsStoreTest, FailedWriteNamesTheValueThenTheKeyAndTheCauseAndStopsThere) {
    Settings.CfgProxyServer = "p";
    Registry.FailingWrites = {"ProxyPort"};
    Registry.WriteCause = TStoreCause::DiskFull;
    const auto saved = Store.Save(Settings);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.Error().Kind, TStoreError::TKind::SetDataFailed);
    EXPECT_EQ(saved.Error().ValueName, "ProxyPort");
    EXPECT_EQ(saved.Error().Failure.Cause, TStoreCause::DiskFull);
    // In the settings' language, German here.
    EXPECT_EQ(StoreErrorText(saved.Error(), Settings.CfgLanguage),
              "Fehler beim Setzen der Daten für 'ProxyPort'\n" + std::string(SettingsKeyPath) +
                  ": der Datenträger ist voll");
    EXPECT_EQ(Key().size(), 3u); // Language, UseProxy, ProxyServer
    EXPECT_EQ(Key().count("UseProxyAuth"), 0u);

    // The next save writes what is still owed, the values already stored not again.
    Registry.FailingWrites.clear();
    Registry.Writes = 0;
    EXPECT_TRUE(Store.Save(Settings));
    EXPECT_EQ(Registry.Writes, 4);
    EXPECT_EQ(Key().size(), 7u);
}

TEST_F(SettingsStoreTest, UnavailableKeyGivesDefaultsAndAFailedWriteBack) {
    Registry.KeyUnavailable = true;
    const std::string error = LoadError();
    EXPECT_TRUE(error.starts_with("Fehler beim Setzen der Daten für 'Language'\n" +
                                  std::string(SettingsKeyPath) + ": "))
        << error;
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_TRUE(Registry.Keys.empty());
}

TEST_F(SettingsStoreTest, StoreThatIsThereButUnreadableIsNeverWrittenFromDefaults) {
    StoreAll(2);
    const auto stored = Key();
    Registry.ReadFailure = TStoreFailure{"settings.reg", TStoreCause::LockHeld, "locked", true};
    EXPECT_EQ(LoadError(), "no error");
    TSettings defaults;
    defaults.CfgLanguage = LangEnglish;
    EXPECT_EQ(Settings, defaults);
    EXPECT_EQ(Registry.Writes, 0);
    EXPECT_EQ(Key(), stored);
    const std::vector<TStoreNotice> notices = Store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TStoreNotice::TKind::Unreadable);
    EXPECT_EQ(notices[0].Failure.Location, "settings.reg");
    EXPECT_EQ(notices[0].Failure.Cause, TStoreCause::LockHeld);
    EXPECT_TRUE(Store.TakeNotices().empty());

    // Once it can be read, a change is stored and the values not changed stay.
    Registry.ReadFailure.reset();
    Settings.CfgLanguage = LangSpanish;
    EXPECT_TRUE(Store.Save(Settings));
    EXPECT_EQ(Registry.Writes, 1);
    EXPECT_EQ(Key()["Language"], Dword(3));
    EXPECT_EQ(Key()["ProxyServer"], TextValue("proxy.local"));
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {1, 2, 3}}));
}

TEST_F(SettingsStoreTest, TwoProgramsKeepEachOthersChanges) {
    StoreAll(0);
    TSettingsStore other(Registry);
    TSettings otherSettings;
    EXPECT_TRUE(Store.Load(Settings));
    EXPECT_TRUE(other.Load(otherSettings));

    Settings.CfgProxyServer = "new.proxy";
    Settings.CfgProxyPort = 8080;
    EXPECT_TRUE(Store.Save(Settings));
    otherSettings.CfgLanguage = LangFrench;
    EXPECT_TRUE(other.Save(otherSettings));

    EXPECT_EQ(Key()["ProxyServer"], TextValue("new.proxy"));
    EXPECT_EQ(Key()["ProxyPort"], Dword(8080));
    EXPECT_EQ(Key()["Language"], Dword(2));
    // Each keeps what it holds: the values it shows are the ones in force for it.
    EXPECT_EQ(otherSettings.CfgProxyServer, "proxy.local");
    // A save without changes leaves the other's values alone too.
    Registry.Writes = 0;
    EXPECT_TRUE(Store.Save(Settings));
    EXPECT_EQ(Registry.Writes, 0);
    EXPECT_EQ(Key()["Language"], Dword(2));
}

TEST_F(SettingsStoreTest, SaveAfterAFailedLoadRepairsTheBadValueAndKeepsTheUnreadOnes) {
    StoreAll(2);
    Key()["ProxyPort"] = {RegType::Binary, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(LoadError(), "Fehler beim Holen der Daten für 'ProxyPort'");
    Settings.CfgLanguage = LangGerman;
    EXPECT_TRUE(Store.Save(Settings));
    EXPECT_EQ(Key()["Language"], Dword(0));
    EXPECT_EQ(Key()["ProxyPort"], Dword(0));
    // Never read, so not this program's to change: the stored ones stay.
    EXPECT_EQ(Key()["UseProxyAuth"], Dword(1));
    EXPECT_EQ(Key()["ProxyUser"], TextValue("tech"));
    EXPECT_EQ(Key()["ProxyPassword"], (TRegValue{RegType::Binary, {1, 2, 3}}));
    EXPECT_EQ(Registry.Writes, 2);
}
