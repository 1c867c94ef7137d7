// The settings rules over the real store file: what a user finds on disk after each load and
// save, also with a second program at work on the same file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/TextTable.h"
#include "qortest/PermissionsApply.h"
#include "qortest/ScratchDir.h"
#include "settings/RegFileStore.h"
#include "settings/SettingsStore.h"
#include "settings/StoreTexts.h"

using namespace qor;
using qor::test::TScratchDir;
namespace fs = std::filesystem;

namespace {

constexpr const char* Header = "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\zentrova GmbH\\QOR 7316 Firmware "
                               "Updater]\n";

class SettingsFileTest : public ::testing::Test {
protected:
    TScratchDir Scratch;
    fs::path Root = Scratch.Path();
    fs::path File = Root / "zentrova GmbH" / "QOR 7316 Firmware Updater.reg";
    TSettings Settings;

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

    // What the user reads of a failed load or save, in the settings' language; "" when it
    // worked.
    std::string Load() {
        TRegFileStore store(Root.string());
        const auto loaded = TSettingsStore(store).Load(Settings);
        return loaded ? "" : StoreErrorText(loaded.Error(), Settings.CfgLanguage);
    }

    static std::string SaveError(TSettingsStore& store, const TSettings& settings) {
        const auto saved = store.Save(settings);
        return saved ? "" : StoreErrorText(saved.Error(), settings.CfgLanguage);
    }

    static std::string All(const std::string& language, const std::string& password = "hex:01,02") {
        return "\"Language\"=" + language +
               "\n\"UseProxy\"=dword:00000001\n\"ProxyServer\"=\"proxy.lan\"\n"
               "\"ProxyPort\"=dword:00000c38\n\"UseProxyAuth\"=dword:00000000\n"
               "\"ProxyUser\"=\"tech\"\n\"ProxyPassword\"=" +
               password + "\n";
    }
};

// Another process holding the store's lock until told to let go.
class TLockHolder {
public:
    explicit TLockHolder(const fs::path& storeFile) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) {
            return;
        }
        Child = ::fork();
        if (Child == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            const int lock = ::open((storeFile.string() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
            char byte = ::flock(lock, LOCK_EX) == 0 ? 'L' : 'E';
            if (::write(fromChild[1], &byte, 1) != 1 || ::read(toChild[0], &byte, 1) < 0) {
                ::_exit(1);
            }
            ::_exit(0); // the lock goes with the process
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        Release = toChild[1];
        char byte = 0;
        Locked = ::read(fromChild[0], &byte, 1) == 1 && byte == 'L';
        ::close(fromChild[0]);
    }
    ~TLockHolder() { LetGo(); }
    TLockHolder(const TLockHolder&) = delete;
    TLockHolder& operator=(const TLockHolder&) = delete;

    bool Locked = false;
    // Returns once the other process and its lock are gone.
    void LetGo() {
        if (Child > 0) {
            ::close(Release);
            ::waitpid(Child, nullptr, 0);
            Child = -1;
        }
    }

private:
    pid_t Child = -1;
    int Release = -1;
};

// Runs `then` once, right after the first key was opened: the moment between the load's read
// and its write-back.
class TAfterFirstOpen : public IRegistryStore {
public:
    TAfterFirstOpen(IRegistryStore& inner, std::function<void()> then)
        : Inner(inner), Then(std::move(then)) {}
    TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                    TRegAccess access) override {
        auto key = Inner.CreateKey(path, access);
        if (Then) {
            std::exchange(Then, nullptr)();
        }
        return key;
    }
    std::vector<TStoreNotice> TakeNotices() override { return Inner.TakeNotices(); }

private:
    IRegistryStore& Inner;
    std::function<void()> Then;
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

TEST_F(SettingsFileTest, LockHeldByAnotherProcessLeavesTheFileByteForByte) {
    Write(All("dword:00000002"));
    const std::string before = Read();
    TLockHolder holder(File);
    ASSERT_TRUE(holder.Locked);
    TRegFileStore files(Root.string(), std::chrono::milliseconds(50));
    // The other process lets go between the read and the place of a write-back, so that a
    // write-back would succeed and show.
    TAfterFirstOpen store(files, [&] { holder.LetGo(); });
    TSettingsStore settingsStore(store);
    EXPECT_TRUE(settingsStore.Load(Settings));
    EXPECT_EQ(Settings.CfgLanguage, LangEnglish);
    EXPECT_EQ(Settings.CfgProxyServer, "");
    EXPECT_EQ(Read(), before);

    const std::vector<TStoreNotice> notices = settingsStore.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TStoreNotice::TKind::Unreadable);
    EXPECT_EQ(notices[0].Failure.Cause, TStoreCause::LockHeld);
    EXPECT_EQ(StoreNoticeText(notices[0], Settings.CfgLanguage),
              "The settings in \"" + File.string() +
                  "\" could not be read (locked by another program). For now the default "
                  "settings are used; the stored settings are left as they are.");
}

TEST_F(SettingsFileTest, StoreAboveOneMegabyteIsSetAsideAndNamed) {
    // Valid, with the seven values first, but padded with names no settings need.
    std::string padding;
    for (int i = 0; padding.size() <= MaxStoreSize; ++i) {
        padding += "\"Filler" + std::to_string(i) + "\"=dword:00000000\n";
    }
    Write(All("dword:00000002") + padding);
    const std::string before = Read();
    TRegFileStore files(Root.string());
    TSettingsStore store(files);
    EXPECT_TRUE(store.Load(Settings));
    EXPECT_EQ(Settings.CfgLanguage, LangEnglish);

    const std::vector<TStoreNotice> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TStoreNotice::TKind::SetAside);
    EXPECT_EQ(notices[0].Failure.Cause, TStoreCause::TooLarge);
    EXPECT_EQ(notices[0].Failure.Location, File.string());
    std::ifstream kept(notices[0].KeptAs, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), before);
    EXPECT_LT(Read().size(), 1000u); // a fresh store with the defaults
    EXPECT_NE(StoreNoticeText(notices[0], LangGerman).find("größer als 1 MB"), std::string::npos);

    // Just below the limit it is still a store like any other.
    padding.resize(padding.rfind('\n', MaxStoreSize - 2000) + 1);
    Write(All("dword:00000002") + padding);
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgLanguage, LangFrench);
}

TEST_F(SettingsFileTest, TwoProgramsOnOneFileKeepEachOthersChanges) {
    Write(All("dword:00000000"));
    TRegFileStore filesA(Root.string());
    TRegFileStore filesB(Root.string());
    TSettingsStore a(filesA);
    TSettingsStore b(filesB);
    TSettings settingsA;
    TSettings settingsB;
    EXPECT_TRUE(a.Load(settingsA));
    EXPECT_TRUE(b.Load(settingsB));

    settingsA.CfgProxyServer = "other.proxy";
    settingsA.CfgProxyPort = 8080;
    EXPECT_TRUE(a.Save(settingsA));
    settingsB.CfgLanguage = LangSpanish;
    EXPECT_TRUE(b.Save(settingsB));

    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Settings.CfgProxyServer, "other.proxy");
    EXPECT_EQ(Settings.CfgProxyPort, 8080);
    EXPECT_EQ(Settings.CfgLanguage, LangSpanish);
    EXPECT_EQ(Settings.CfgProxyUser, "tech");
}

TEST_F(SettingsFileTest, FailedSaveNamesTheFileAndTheCauseOnItsSecondLine) {
    Write(All("dword:00000001"));
    const std::string first =
        "Fehler beim Setzen der Daten für 'Language'\n" + File.string() + ": ";
    TRegFileStore files(Root.string(), std::chrono::milliseconds(0));
    TSettingsStore store(files);
    EXPECT_TRUE(store.Load(Settings));
    Settings.CfgLanguage = LangGerman;

    {
        // Another key open for writing holds the lock.
        TRegFileStore other(Root.string());
        const auto held = other.CreateKey(SettingsKeyPath, TRegAccess::Write);
        ASSERT_TRUE(held.Ok());
        EXPECT_EQ(SaveError(store, Settings), first + "von einem anderen Programm gesperrt");
    }
    const fs::path folder = File.parent_path();
    ::chmod(folder.c_str(), 0500);
    {
        const qor::test::TPermissionsApply permissions;
        EXPECT_EQ(SaveError(store, Settings), first + "der Ordner ist schreibgeschützt");
    }
    ::chmod(folder.c_str(), 0700);
    Settings.CfgLanguage = LangEnglish;
    fs::remove(File);
    fs::create_directory(File);
    EXPECT_EQ(SaveError(store, Settings), first + "not a regular file");
}

TEST_F(SettingsFileTest, StoreThatIsNotAFileIsLeftAloneAtTheLoad) {
    fs::create_directories(File);
    EXPECT_EQ(Load(), "");
    EXPECT_TRUE(fs::is_directory(File));
    EXPECT_TRUE(fs::is_empty(File));
}
