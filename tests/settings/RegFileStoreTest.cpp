#include <gtest/gtest.h>

#include "platform/PosixFiles.h"
#include "qortest/PlatformTestSupport.h"
#include "qortest/RegValues.h"
#include "settings/RegFileStore.h"
#include "settings/SettingsStore.h"
#include "settings/StoreTexts.h"

using namespace qor;
using namespace qor::test;

namespace {

class RegFileStoreTest : public ::testing::Test {
protected:
    TScratchDir Dir;
    std::string Root = Dir / "config";
    std::string File = Root + "/zentrova GmbH/QOR 7316 Firmware Updater.reg";
    // Why the last key the test asked for could not be opened.
    TStoreFailure Refusal;

    std::unique_ptr<IRegistryKey>
    Open(TRegAccess access, std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
        TRegFileStore store(Root, wait);
        return KeyOf(store.CreateKey(SettingsKeyPath, access), &Refusal);
    }
};

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(seed + i * 31);
    }
    return data;
}

} // namespace

TEST_F(RegFileStoreTest, KeyPathMapsToOneFilePerKeyBelowTheRoot) {
    TRegFileStore store(Root);
    const auto settingsFile = store.FileOf(SettingsKeyPath);
    ASSERT_TRUE(settingsFile);
    EXPECT_EQ(*settingsFile, File);
    const auto upper = store.FileOf("SOFTWARE\\A");
    ASSERT_TRUE(upper);
    EXPECT_EQ(*upper, Root + "/A.reg");
    for (const char* path :
         {"Software", "Console\\A", "Software\\..\\A", "Software\\A\\\\B", "Software\\a/b",
          "Software\\A.reg\\B"}) { // the last would clash with A's file
        const auto file = store.FileOf(path);
        ASSERT_FALSE(file) << path;
        EXPECT_EQ(file.Error().Cause, TStoreCause::NoLocation) << path;
    }
    // Without a configuration directory no key has a file.
    EXPECT_FALSE(TRegFileStore("").FileOf(SettingsKeyPath));
}

TEST_F(RegFileStoreTest, EveryTypeAndSizeSurvivesARealFile) {
    std::vector<std::pair<std::string, TRegValue>> values;
    for (std::uint32_t type : {0u, 1u, 2u, 3u, 4u, 7u, 11u, 0x12345678u}) {
        for (std::size_t size : {0, 1, 3, 4, 5, 4096, 4097}) {
            values.push_back({"T" + std::to_string(type) + "S" + std::to_string(size),
                              {type, Pattern(size, static_cast<std::uint8_t>(type))}});
        }
    }
    values.push_back({"SzZeroInside", {RegType::Sz, {'a', 0, 'b', 0}}});
    values.push_back({"SzZeros", {RegType::Sz, {0, 0, 0}}});
    values.push_back({"SzText", {RegType::Sz, {'\\', '"', 0xc3, 0xa4, 0}}});
    {
        auto key = Open(TRegAccess::Write);
        ASSERT_NE(key, nullptr);
        for (const auto& [name, value] : values) {
            ASSERT_TRUE(key->SetValue(name, value)) << name;
        }
    }
    auto key = Open(TRegAccess::Read);
    ASSERT_NE(key, nullptr);
    for (const auto& [name, value] : values) {
        EXPECT_EQ(key->QueryValue(name), value) << name;
    }
    EXPECT_EQ(key->QueryValue("Missing"), std::nullopt);
}

TEST_F(RegFileStoreTest, FirstRunWritesTheSevenDefaultsAsARegeditFile) {
    TRegFileStore store(Root);
    TSettings settings;
    EXPECT_TRUE(TSettingsStore(store).Load(settings));
    EXPECT_EQ(ReadText(File), "Windows Registry Editor Version 5.00\n"
                              "\n"
                              "[HKEY_CURRENT_USER\\Software\\zentrova GmbH\\QOR 7316 Firmware "
                              "Updater]\n"
                              "\"Language\"=dword:00000001\n"
                              "\"UseProxy\"=dword:00000000\n"
                              "\"ProxyServer\"=\"\"\n"
                              "\"ProxyPort\"=dword:00000000\n"
                              "\"UseProxyAuth\"=dword:00000000\n"
                              "\"ProxyUser\"=\"\"\n"
                              "\"ProxyPassword\"=hex:\n"
                              "\n");
    EXPECT_TRUE(store.TakeNotices().empty());

    // Read back: the values are those of the first run, and nothing needs writing again.
    auto key = KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->QueryValue("ProxyServer"), (TRegValue{RegType::Sz, {0}}));
    EXPECT_EQ(key->QueryValue("ProxyPassword"), (TRegValue{RegType::Binary, {}}));
    EXPECT_EQ(key->QueryValue("Language"), (TRegValue{RegType::Dword, {1, 0, 0, 0}}));
    key.reset();
    const std::string before = ReadText(File);
    TSettings again;
    EXPECT_TRUE(TSettingsStore(store).Load(again));
    EXPECT_EQ(again, settings);
    EXPECT_EQ(ReadText(File), before);
}

TEST_F(RegFileStoreTest, SettingsRoundTripThroughTheFile) {
    TRegFileStore store(Root);
    TSettings saved;
    saved.CfgLanguage = 3;
    saved.CfgUseProxy = true;
    saved.CfgUseProxyAuth = true;
    saved.CfgProxyServer = "proxy \"ü\" \\ local";
    saved.CfgProxyUser = "tech";
    saved.CfgProxyPassword = Pattern(4096, 9);
    saved.CfgProxyPort = -10;
    EXPECT_TRUE(TSettingsStore(store).Save(saved));
    TSettings loaded;
    EXPECT_TRUE(TSettingsStore(store).Load(loaded));
    EXPECT_EQ(loaded, saved);
}

TEST_F(RegFileStoreTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    auto key = Open(TRegAccess::Write);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue("ProxyPort", {RegType::Dword, {1, 0, 0, 0}}));
    ASSERT_TRUE(key->SetValue("PROXYPORT", {RegType::Dword, {2, 0, 0, 0}}));
    EXPECT_EQ(key->QueryValue("proxyport"), (TRegValue{RegType::Dword, {2, 0, 0, 0}}));
    key.reset();
    const std::string text = ReadText(File);
    EXPECT_NE(text.find("\"ProxyPort\"=dword:00000002\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("PROXYPORT"), std::string::npos) << text;
}

TEST_F(RegFileStoreTest, OnlyAWriteKeyWritesAndANameWithALineBreakIsRefused) {
    auto write = Open(TRegAccess::Write);
    ASSERT_NE(write, nullptr);
    EXPECT_FALSE(write->SetValue("a\nb", {RegType::Sz, {0}}));
    write.reset();
    auto read = Open(TRegAccess::Read);
    ASSERT_NE(read, nullptr);
    EXPECT_FALSE(read->SetValue("Language", {RegType::Dword, {1, 0, 0, 0}}));
    EXPECT_EQ(read->QueryValue("Language"), std::nullopt);
}

TEST_F(RegFileStoreTest, DamagedFileIsSetAsideReportedAndReplacedByAnEmptyKey) {
    const std::string damaged = "this is not a registry file\n\"Language\"=dword:00000002\n";
    const auto made = posix::MakeDirectories(Root + "/zentrova GmbH");
    ASSERT_TRUE(made) << made.Error().Reason;
    WriteText(File, damaged);
    TRegFileStore store(Root);

    // Reading alone leaves the file where it is.
    auto read = KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->QueryValue("Language"), std::nullopt);
    read.reset();
    EXPECT_EQ(ReadText(File), damaged);
    EXPECT_TRUE(store.TakeNotices().empty());

    // The load's write-back sets it aside first, once, and says where it went.
    TSettings settings;
    EXPECT_TRUE(TSettingsStore(store).Load(settings));
    std::vector<TStoreNotice> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].Kind, TStoreNotice::TKind::SetAside);
    EXPECT_EQ(notices[0].Failure.Location, File);
    EXPECT_EQ(notices[0].Failure.Cause, TStoreCause::Damaged);
    EXPECT_TRUE(notices[0].KeptAs.starts_with(File + ".damaged-")) << notices[0].KeptAs;
    EXPECT_EQ(ReadText(notices[0].KeptAs), damaged);
    EXPECT_EQ(settings.CfgLanguage, 1);
    EXPECT_NE(ReadText(File).find("\"Language\"=dword:00000001"), std::string::npos);
    EXPECT_TRUE(store.TakeNotices().empty());

    // A second damaged file in the same second gets a name of its own.
    WriteText(File, "garbage");
    ASSERT_NE(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
    notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(ReadText(notices[0].KeptAs), "garbage");
    EXPECT_EQ(ReadText(File).find("garbage"), std::string::npos);
}

TEST_F(RegFileStoreTest, DirectoriesAre0700AndFiles0600) {
    const TUmask mask(022);
    ASSERT_NE(Open(TRegAccess::Write), nullptr);
    EXPECT_EQ(ModeOf(Root), 0700);
    EXPECT_EQ(ModeOf(Root + "/zentrova GmbH"), 0700);
    EXPECT_EQ(ModeOf(File), 0600);
    EXPECT_EQ(ModeOf(File + ".lock"), 0600);
}

TEST_F(RegFileStoreTest, MissingFileIsAnEmptyKeyThatAWriterCreates) {
    auto read = Open(TRegAccess::Read);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->QueryValue("Language"), std::nullopt);
    read.reset();
    EXPECT_FALSE(Exists(File));
    ASSERT_NE(Open(TRegAccess::Write), nullptr);
    EXPECT_EQ(ReadText(File), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" +
                                  std::string(SettingsKeyPath) + "]\n\n");
}

TEST_F(RegFileStoreTest, UnusableRootGivesNoKey) {
    WriteText(Dir / "file", "x");
    TRegFileStore onFile(Dir / "file");
    EXPECT_EQ(KeyOf(onFile.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal), nullptr);
    EXPECT_NE(Refusal.Detail.find("file"), std::string::npos) << Refusal.Detail;
    EXPECT_FALSE(Refusal.StoreExists);

    TRegFileStore noRoot("");
    EXPECT_EQ(KeyOf(noRoot.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
    EXPECT_EQ(Refusal.Cause, TStoreCause::NoLocation);

    TRegFileStore store(Root);
    EXPECT_EQ(KeyOf(store.CreateKey("Console\\X", TRegAccess::Write), &Refusal), nullptr);

    const auto made = posix::MakeDirectories(File); // a directory where the file goes
    ASSERT_TRUE(made) << made.Error().Reason;
    EXPECT_EQ(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal), nullptr);
    EXPECT_EQ(Refusal.Cause, TStoreCause::NotRegularFile);
    EXPECT_TRUE(Refusal.StoreExists); // never to be replaced by defaults
    EXPECT_EQ(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
    EXPECT_EQ(Refusal.Cause, TStoreCause::NotRegularFile);
    EXPECT_EQ(Refusal.Location, File);

    ::mkdir((Dir / "locked").c_str(), 0500);
    const TPermissionsApply permissions;
    TRegFileStore locked(Dir / "locked");
    EXPECT_EQ(KeyOf(locked.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal), nullptr);
    EXPECT_NE(Refusal.Detail.find("Permission denied"), std::string::npos) << Refusal.Detail;
    EXPECT_EQ(Refusal.Cause, TStoreCause::ReadOnly);
    EXPECT_FALSE(Refusal.StoreExists); // nothing there: a first run may create it
}

TEST_F(RegFileStoreTest, FailedWriteReturnsFalseAndKeepsFileAndValues) {
    auto key = Open(TRegAccess::Write);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue("Language", {RegType::Dword, {2, 0, 0, 0}}));
    const std::string before = ReadText(File);
    const std::string dir = Root + "/zentrova GmbH";
    ::chmod(dir.c_str(), 0500);
    {
        const TPermissionsApply permissions;
        const auto refused = key->SetValue("Language", {RegType::Dword, {3, 0, 0, 0}});
        EXPECT_FALSE(refused);
        EXPECT_EQ(key->QueryValue("Language"), (TRegValue{RegType::Dword, {2, 0, 0, 0}}));
        EXPECT_EQ(refused.Error().Cause, TStoreCause::ReadOnly);
        // The settings store names the first value it could not write, the file and why.
        TRegFileStore store(Root, std::chrono::milliseconds(0));
        key.reset();
        const TSettings settings;
        const auto saved = TSettingsStore(store).Save(settings);
        ASSERT_FALSE(saved);
        EXPECT_EQ(StoreErrorText(saved.Error(), settings.CfgLanguage),
                  "Fehler beim Setzen der Daten für 'Language'\n" + File +
                      ": der Ordner ist schreibgeschützt");
    }
    ::chmod(dir.c_str(), 0700);
    EXPECT_EQ(ReadText(File), before);
}

TEST_F(RegFileStoreTest, LocksKeepAWriterApartFromEveryoneElse) {
    auto writer = Open(TRegAccess::Write);
    ASSERT_NE(writer, nullptr);
    TRegFileStore store(Root, std::chrono::milliseconds(0));
    EXPECT_EQ(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
    EXPECT_EQ(Refusal.Cause, TStoreCause::LockHeld);
    EXPECT_TRUE(Refusal.StoreExists);
    EXPECT_EQ(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal), nullptr);
    writer.reset();

    auto reader1 = KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal);
    auto reader2 = KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Read), &Refusal);
    EXPECT_NE(reader1, nullptr);
    EXPECT_NE(reader2, nullptr);
    EXPECT_EQ(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
    reader1.reset();
    reader2.reset();
    EXPECT_NE(KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write), &Refusal), nullptr);
}

TEST_F(RegFileStoreTest, AWriterClearsTemporaryFilesLeftByADeadOne) {
    ASSERT_NE(Open(TRegAccess::Write), nullptr);
    const std::string dir = Root + "/zentrova GmbH/";
    const std::string stale = dir + ".QOR 7316 Firmware Updater.reg.4242.tmp";
    const std::string staleRandom = dir + ".QOR 7316 Firmware Updater.reg.4242-0123abcd.tmp";
    const std::string foreign = dir + ".QOR 7316 Firmware Updater.reg.notes.tmp";
    for (const auto& path : {stale, staleRandom, foreign}) {
        WriteText(path, "half");
    }
    ASSERT_NE(Open(TRegAccess::Read), nullptr);
    EXPECT_TRUE(Exists(stale)); // a reader cannot know whether a writer is still at work
    ASSERT_NE(Open(TRegAccess::Write), nullptr);
    EXPECT_FALSE(Exists(stale));
    EXPECT_FALSE(Exists(staleRandom));
    EXPECT_TRUE(Exists(foreign));
}
