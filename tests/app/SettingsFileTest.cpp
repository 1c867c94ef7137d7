// The settings rules over the real store file: what a user finds on disk after each load.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/SettingsStore.h"
#include "platform/RegFileStore.h"

using namespace qor;
namespace fs = std::filesystem;

namespace {

constexpr const char* Header = "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\zentrova GmbH\\QOR 7316 Firmware "
                               "Updater]\n";

class SettingsFileTest : public ::testing::Test {
protected:
    fs::path Root;
    fs::path File;
    TSettings Settings;

    void SetUp() override {
        Root = fs::path(::testing::TempDir()) /
               ("settings-file-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Root);
        File = Root / "zentrova GmbH" / "QOR 7316 Firmware Updater.reg";
    }

    void Write(const std::string& values) {
        fs::create_directories(File.parent_path());
        std::ofstream(File) << Header << values;
    }

    std::string Read() const {
        std::ifstream in(File);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string Load() {
        TRegFileStore store(Root.string());
        try {
            LoadSettings(store, Settings);
        } catch (const ERegistryError& error) {
            return error.what();
        }
        return "";
    }

    static std::string All(const std::string& language, const std::string& password = "hex:01,02") {
        return "\"Language\"=" + language +
               "\n\"UseProxy\"=dword:00000001\n\"ProxyServer\"=\"proxy.lan\"\n"
               "\"ProxyPort\"=dword:00000c38\n\"UseProxyAuth\"=dword:00000000\n"
               "\"ProxyUser\"=\"tech\"\n\"ProxyPassword\"=" +
               password + "\n";
    }
};

std::string HexBytes(std::size_t count) {
    std::string text = "hex:";
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "ab" : ",ab";
    }
    return text;
}

} // namespace

TEST_F(SettingsFileTest, FirstRunWritesTheSevenDefaults) {
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Read(), std::string(Header) + "\"Language\"=dword:00000001\n"
                                            "\"UseProxy\"=dword:00000000\n"
                                            "\"ProxyServer\"=\"\"\n"
                                            "\"ProxyPort\"=dword:00000000\n"
                                            "\"UseProxyAuth\"=dword:00000000\n"
                                            "\"ProxyUser\"=\"\"\n"
                                            "\"ProxyPassword\"=hex:\n\n");
}

TEST_F(SettingsFileTest, LanguageSevenIsRewrittenAndTwoHundredFiftyEightIsKept) {
    Write(All("dword:00000007"));
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgLanguage, 1);
    EXPECT_NE(Read().find("\"Language\"=dword:00000001\n"), std::string::npos);

    Write(All("dword:00000102"));
    const std::string before = Read();
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgLanguage, 2);
    EXPECT_EQ(Read(), before);
}

TEST_F(SettingsFileTest, PasswordOfAnotherTypeBecomesAnEmptyBinaryValue) {
    Write(All("dword:00000000", "\"plain\""));
    EXPECT_EQ(Load(), "");
    EXPECT_TRUE(Settings.CfgProxyPassword.empty());
    EXPECT_NE(Read().find("\"ProxyPassword\"=hex:\n"), std::string::npos);
    EXPECT_NE(Read().find("\"ProxyServer\"=\"proxy.lan\"\n"), std::string::npos);
}

TEST_F(SettingsFileTest, PasswordOf4096BytesLoadsAndOf4097IsRefusedWithoutWriteBack) {
    Write(All("dword:00000000", HexBytes(4096)));
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgProxyPassword.size(), 4096u);

    Write(All("dword:00000000", HexBytes(4097)));
    const std::string before = Read();
    Settings = {};
    EXPECT_EQ(Load(), "Ungültiger Datentyp für 'ProxyPassword'");
    EXPECT_EQ(Read(), before);
}

TEST_F(SettingsFileTest, ServerWithAZeroByteInsideIsCutThere) {
    // REG_SZ "ab\0cd\0", stored losslessly as hex(1).
    Write(All("dword:00000000") + "\"ProxyServer\"=hex(1):61,62,00,63,64,00\n");
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgProxyServer, "ab");
}

TEST_F(SettingsFileTest, EightByteNumberIsAnErrorAndNothingIsWritten) {
    Write(All("hex(4):01,00,00,00,00,00,00,00"));
    const std::string before = Read();
    EXPECT_EQ(Load(), "Fehler beim Holen der Daten für 'Language'");
    EXPECT_EQ(Read(), before);
}
