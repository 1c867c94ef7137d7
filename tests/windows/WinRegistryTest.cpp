#include "settings/WinRegistryStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/TextTable.h"
#include "platform/WinText.h"
#include "qortest/RegValues.h"
#include "qortest/TestRegistryRoot.h"
#include "settings/SettingsStore.h"
#include "settings/StoreTexts.h"

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
    // What the user reads of a failed load, or "" when it worked.
    std::string LoadError() {
        const auto loaded = TSettingsStore(Store).Load(Settings);
        return loaded ? std::string() : StoreErrorText(loaded.Error(), Settings.CfgLanguage);
    }

    test::TTestRegistryRoot Root;
    TWinRegistryStore Store{Root.Get()};
    TSettings Settings;
};

TEST_F(WinRegistryTest, FirstRunCreatesTheKeyWithTheSevenValuesInTheirRegistryTypesAndSizes) {
    ASSERT_FALSE(Stored("Language"));

    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));

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

    EXPECT_TRUE(TSettingsStore(Store).Save(saved));
    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));

    EXPECT_EQ(Settings, saved);
    EXPECT_EQ(Stored("Language"), Dword(3));
    EXPECT_EQ(Stored("ProxyPort"), Dword(static_cast<std::uint32_t>(-8080)));
    EXPECT_EQ(Stored("ProxyServer"), (TRegValue{REG_SZ, ZeroTerminated("proxy.example")}));
    EXPECT_EQ(Stored("ProxyPassword"), (TRegValue{REG_BINARY, saved.CfgProxyPassword}));
}

TEST_F(WinRegistryTest, ValuesWrittenByOthersAreReadByTheirStoredTypeAndSize) {
    EXPECT_TRUE(TSettingsStore(Store).Save(TSettings{}));
    Put("Language", REG_DWORD, Dword(258).Data); // low byte 2: French, no write-back
    Put("ProxyServer", REG_EXPAND_SZ,
        ZeroTerminated("%TEMP%\\proxy"));                 // taken as it is, not expanded
    Put("ProxyUser", REG_SZ, {'a', 'b', 0, 'c', 'd', 0}); // up to the first zero byte

    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));

    EXPECT_EQ(Settings.CfgLanguage, LangFrench);
    EXPECT_EQ(Settings.CfgProxyServer, "%TEMP%\\proxy");
    EXPECT_EQ(Settings.CfgProxyUser, "ab");
    EXPECT_EQ(Stored("Language"), Dword(258));
    EXPECT_EQ(Stored("ProxyServer")->Type, static_cast<std::uint32_t>(REG_EXPAND_SZ));
}

// Texts sit in the registry as their characters: a user's name is what regedit, other
// programs' ANSI reads and a value set by `reg add` all agree on.
class WinRegistryText : public WinRegistryTest {
protected:
    // The value as the registry holds it, through the wide call; nullopt when missing.
    std::optional<std::wstring> Wide(const std::string& name) const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(Root.Get(), win::Widen(SettingsKeyPath).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        wchar_t text[256] = {};
        DWORD size = sizeof text - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = ::RegQueryValueExW(key, win::Widen(name).c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(text), &size);
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::wstring value(text, size / sizeof(wchar_t));
        if (!value.empty() && value.back() == L'\0') {
            value.pop_back(); // the terminating zero
        }
        return value;
    }
    // `text` with its terminating zero as a reader in the system's code page gets it.
    static std::vector<std::uint8_t> Ansi(const std::wstring& text) {
        std::string bytes(text.size() * 4 + 1, '\0');
        const int size =
            ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()) + 1,
                                  bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
        return {bytes.begin(), bytes.begin() + size};
    }
    // reg.exe, as a user or an administrator's script sets a value.
    void RegAdd(const std::string& name, const std::wstring& text) {
        const std::wstring key =
            L"HKCU\\" + win::Widen(Root.KeyPath()) + L"\\" + win::Widen(SettingsKeyPath);
        std::wstring line = L"reg.exe add \"" + key + L"\" /v " + win::Widen(name) +
                            L" /t REG_SZ /d \"" + text + L"\" /f";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &process))
            << ::GetLastError();
        ::WaitForSingleObject(process.hProcess, 30000);
        DWORD exit = 1;
        ::GetExitCodeProcess(process.hProcess, &exit);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        ASSERT_EQ(exit, 0u);
    }
};

TEST_F(WinRegistryText, ANameWithAnUmlautIsStoredAsItsCharacters) {
    TSettings saved;
    saved.CfgProxyUser = "Müller";
    saved.CfgProxyServer = "gerät-proxy";

    EXPECT_TRUE(TSettingsStore(Store).Save(saved));

    EXPECT_EQ(Wide("ProxyUser"), std::wstring(L"M\u00FCller"));
    EXPECT_EQ(Wide("ProxyServer"), std::wstring(L"ger\u00E4t-proxy"));
    // What another program's ANSI read gets: the same name in its code page.
    EXPECT_EQ(Stored("ProxyUser"), (TRegValue{REG_SZ, Ansi(L"M\u00FCller")}));
    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));
    EXPECT_EQ(Settings.CfgProxyUser, "Müller");
    EXPECT_EQ(Settings.CfgProxyServer, "gerät-proxy");
}

TEST_F(WinRegistryText, AValueSetByRegAddIsReadAndWrittenBackAsItWas) {
    EXPECT_TRUE(TSettingsStore(Store).Save(TSettings{}));
    ASSERT_NO_FATAL_FAILURE(RegAdd("ProxyServer", L"ger\u00E4t-proxy"));

    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));
    EXPECT_EQ(Settings.CfgProxyServer, "gerät-proxy");
    // The proxy dialog's OK without a change saves all values again.
    EXPECT_TRUE(TSettingsStore(Store).Save(Settings));

    EXPECT_EQ(Wide("ProxyServer"), std::wstring(L"ger\u00E4t-proxy"));
}

TEST_F(WinRegistryTest, APasswordOfAnotherTypeBecomesAnEmptyBinaryValue) {
    EXPECT_TRUE(TSettingsStore(Store).Save(TSettings{}));
    Put("ProxyPassword", REG_SZ, ZeroTerminated("plain"));

    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));

    EXPECT_TRUE(Settings.CfgProxyPassword.empty());
    EXPECT_EQ(Stored("ProxyPassword"), (TRegValue{REG_BINARY, {}}));
}

TEST_F(WinRegistryTest, ValuesThatCannotBeTakenFailWithTheRegistryErrorsWithoutWriteBack) {
    EXPECT_TRUE(TSettingsStore(Store).Save(TSettings{}));
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

    const auto refused = store.CreateKey(SettingsKeyPath, TRegAccess::Write);
    EXPECT_FALSE(refused.Ok());
    EXPECT_FALSE(refused.Error().StoreExists);
    // The registry error's text, then the key and the system's words for the cause.
    const std::string firstLine = "Fehler beim Setzen der Daten für 'Language'\n";
    const std::string location = "HKEY_CURRENT_USER\\" + std::string(SettingsKeyPath) + ": ";
    const TSettings settings;
    const auto saved = TSettingsStore(store).Save(settings);
    ASSERT_FALSE(saved) << "the save did not fail";
    const std::string savedText = StoreErrorText(saved.Error(), settings.CfgLanguage);
    EXPECT_THAT(savedText, ::testing::StartsWith(firstLine + location));
    EXPECT_THAT(savedText, ::testing::HasSubstr("(error 1018)")); // ERROR_KEY_DELETED
    // Loading from it reads every value as missing and then fails on the write-back.
    TSettings loaded;
    loaded.CfgLanguage = LangSpanish;
    const auto load = TSettingsStore(store).Load(loaded);
    ASSERT_FALSE(load) << "the load did not fail";
    EXPECT_THAT(StoreErrorText(load.Error(), loaded.CfgLanguage),
                ::testing::StartsWith(firstLine + location));
    EXPECT_EQ(loaded.CfgLanguage, LangEnglish);
    ::RegCloseKey(gone);
}

TEST_F(WinRegistryTest, TwoProgramsKeepEachOthersChanges) {
    TSettings stored;
    stored.CfgProxyServer = "proxy.lan";
    stored.CfgProxyUser = "tech";
    EXPECT_TRUE(TSettingsStore(Store).Save(stored));
    TWinRegistryStore otherRegistry(Root.Get());
    TSettingsStore one(Store);
    TSettingsStore other(otherRegistry);
    TSettings oneSettings;
    TSettings otherSettings;
    EXPECT_TRUE(one.Load(oneSettings));
    EXPECT_TRUE(other.Load(otherSettings));

    oneSettings.CfgUseProxy = true;
    oneSettings.CfgProxyPort = 3128;
    EXPECT_TRUE(one.Save(oneSettings));
    otherSettings.CfgLanguage = LangGerman;
    EXPECT_TRUE(other.Save(otherSettings));

    EXPECT_TRUE(TSettingsStore(Store).Load(Settings));
    EXPECT_TRUE(Settings.CfgUseProxy);
    EXPECT_EQ(Settings.CfgProxyPort, 3128);
    EXPECT_EQ(Settings.CfgLanguage, LangGerman);
    EXPECT_EQ(Settings.CfgProxyServer, "proxy.lan");
}

TEST_F(WinRegistryTest, AKeyThatCannotBeReadIsNotWrittenFromDefaults) {
    TSettings stored;
    stored.CfgLanguage = LangFrench;
    EXPECT_TRUE(TSettingsStore(Store).Save(stored));
    // A DACL without entries refuses every access but the owner's right to change it back.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(Root.Get(), SettingsKeyPath, 0, WRITE_DAC, &key), ERROR_SUCCESS);
    const auto setDacl = [key](PACL acl) {
        SECURITY_DESCRIPTOR descriptor{};
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
        return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    };
    ACL emptyAcl{};
    ::InitializeAcl(&emptyAcl, sizeof emptyAcl, ACL_REVISION);
    ASSERT_EQ(setDacl(&emptyAcl), ERROR_SUCCESS);
    HKEY probe = nullptr;
    if (::RegOpenKeyExA(Root.Get(), SettingsKeyPath, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
        ::RegCloseKey(probe);
        setDacl(nullptr);
        ::RegCloseKey(key);
        GTEST_SKIP() << "this registry does not enforce key security";
    }

    TSettingsStore store(Store);
    EXPECT_TRUE(store.Load(Settings));
    EXPECT_EQ(Settings.CfgLanguage, LangEnglish);
    const std::vector<TStoreNotice> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TStoreNotice::TKind::Unreadable);
    EXPECT_EQ(notices[0].Failure.Cause, TStoreCause::AccessDenied);

    setDacl(nullptr); // a null DACL lets everyone in again
    ::RegCloseKey(key);
    EXPECT_EQ(Stored("Language"), Dword(2));
}

} // namespace
} // namespace qor
