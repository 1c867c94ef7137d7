#include "flow/ServiceLog.h"
#include "platform/TempDir.h"
#include "platform/WinSecurity.h"
#include "platform/WinText.h"
#include "qortest/KeptResult.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace qor {
using qor::test::Kept;

namespace {

using TBytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TempDirWinTest : public ::testing::Test {
protected:
    TempDirWinTest() {
        std::random_device seed;
        Dir = fs::temp_directory_path() / ("qor-win-test-" + std::to_string(seed()));
        fs::create_directories(Dir);
    }
    ~TempDirWinTest() override {
        std::error_code ignored;
        fs::remove_all(Dir, ignored);
    }
    std::string In(const std::string& name) const { return (Dir / name).string(); }

    fs::path Dir;
};

TEST_F(TempDirWinTest, TheUserTempDirectoryIsTheSystemsWithItsSeparator) {
    std::string error;
    const auto dir = Kept(UserTempDirectory(), error);
    ASSERT_TRUE(dir) << error;

    char system[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathA(sizeof system, system), 0U);
    EXPECT_EQ(*dir, system);
    EXPECT_EQ(dir->back(), '\\');
    EXPECT_TRUE(fs::is_directory(*dir));
}

TEST_F(TempDirWinTest, AnAtomicWriteReplacesTheFileWholeAndLeavesNothingBeside) {
    const std::string target = In("qor-7316.bin");
    std::ofstream(target, std::ios::binary) << "an older and longer image";
    TBytes image(70000);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i % 251);
    }
    std::string error;

    ASSERT_TRUE(Kept(WriteFileAtomically(target, image), error)) << error;

    EXPECT_EQ(ReadFile(target), std::string(image.begin(), image.end()));
    EXPECT_EQ(Names(Dir), std::vector<std::string>{"qor-7316.bin"});

    ASSERT_TRUE(Kept(WriteFileAtomically(target, {}), error)) << error;
    EXPECT_EQ(fs::file_size(target), 0U);
}

TEST_F(TempDirWinTest, AWriteThatCannotBeDoneSaysWhereAndLeavesTheOldFile) {
    std::string error;
    EXPECT_FALSE(Kept(WriteFileAtomically(In("missing\\qor-7316.bin"), TBytes{1, 2, 3}), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;

    // A directory in the target's place cannot be replaced by a file.
    fs::create_directory(Dir / "taken");
    error.clear();
    EXPECT_FALSE(Kept(WriteFileAtomically(In("taken"), TBytes{1, 2, 3}), error));
    EXPECT_NE(error.find("taken"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(Dir / "taken"));
    EXPECT_EQ(Names(Dir), (std::vector<std::string>{"taken"}));
}

TEST_F(TempDirWinTest, OnlyTheWritersOwnLeftoversAreRemoved) {
    for (const char* name :
         {".settings.reg.4711.tmp", ".settings.reg.12-3456.tmp", ".settings.reg.tmp",
          ".settings.reg.x1.tmp", ".other.reg.1.tmp", "settings.reg", "settings.reg.1.tmp"}) {
        std::ofstream(Dir / name) << "x";
    }

    EXPECT_EQ(RemoveStaleTempFiles(In("settings.reg")), 2);

    EXPECT_EQ(Names(Dir), (std::vector<std::string>{".other.reg.1.tmp", ".settings.reg.tmp",
                                                    ".settings.reg.x1.tmp", "settings.reg",
                                                    "settings.reg.1.tmp"}));
}

TEST_F(TempDirWinTest, APrivateDirectoryIsMadeForTheUserAloneAndAFileIsRefused) {
    std::string error;
    const std::string dir = In("private");
    ASSERT_TRUE(Kept(EnsurePrivateDirectory(dir), error)) << error;
    EXPECT_TRUE(fs::is_directory(dir));
    // A second time it exists already and is accepted as it is.
    EXPECT_TRUE(Kept(EnsurePrivateDirectory(dir), error)) << error;

    std::ofstream(Dir / "plain") << "x";
    EXPECT_FALSE(Kept(EnsurePrivateDirectory(In("plain")), error));
    EXPECT_NE(error.find("plain"), std::string::npos) << error;
}

// Paths are UTF-8 inside and reach the system whole: a user's folder with an umlaut, a report
// saved under the name the user typed.
class WinPathTest : public TempDirWinTest {
protected:
    WinPathTest() { fs::create_directory(Dir / L"J\u00FCrgen"); }
    std::string InUserFolder(const std::string& name) const {
        return win::Narrow((Dir / L"J\u00FCrgen").wstring()) + "\\" + name;
    }
    std::vector<std::wstring> WideNames() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(Dir / L"J\u00FCrgen")) {
            names.push_back(entry.path().filename().wstring());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(WinPathTest, AFileIsWrittenUnderTheNameGiven) {
    std::string error;
    ASSERT_TRUE(Kept(WriteFileAtomically(InUserFolder("Bericht-Müller.txt"), TBytes{'x'}), error))
        << error;
    EXPECT_EQ(WideNames(), std::vector<std::wstring>{L"Bericht-M\u00FCller.txt"});
    std::ofstream(Dir / L"J\u00FCrgen" / L".Bericht-M\u00FCller.txt.77.tmp") << "left over";
    EXPECT_EQ(RemoveStaleTempFiles(InUserFolder("Bericht-Müller.txt")), 1);
}

// Both logs through the wide calls: appended, renamed to their older file at their limit,
// and a torn last record cut off before the next one.
TEST_F(WinPathTest, TheServiceLogsBelowAProfileWithAnUmlautKeepEveryRecordWhole) {
    TServiceLog log(InUserFolder("qor7316-updater"), 40, 40);
    const auto text = [](const std::string& name) {
        return name + "\n  line\n\n";
    };
    const auto json = [](const std::string& name) {
        return R"({"r":")" + name + "\"}\n";
    };
    const fs::path folder = Dir / L"J\u00FCrgen" / L"qor7316-updater";
    const auto contents = [&folder](const wchar_t* name) {
        std::ifstream in(folder / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    for (const char* record : {"first", "second", "third"}) {
        const auto appended = log.Append(text(record), json(record));
        ASSERT_TRUE(appended.Ok()) << appended.Error().Reason;
    }
    std::ofstream(folder / L"service-log.jsonl", std::ios::app | std::ios::binary) << R"({"r":"fo)";
    const auto appended = log.Append(text("fourth"), json("fourth"));
    ASSERT_TRUE(appended.Ok()) << appended.Error().Reason;

    const auto all = log.ReadAll();
    ASSERT_TRUE(all.Ok()) << all.Error().Reason;
    EXPECT_EQ(*all, text("first") + text("second") + text("third") + text("fourth"));
    EXPECT_EQ(contents(L"service-log.jsonl.1"), json("first") + json("second"));
    EXPECT_EQ(contents(L"service-log.jsonl"), json("third") + json("fourth"));
}

// The owner may be the user, or the administrators or the system when a run with raised rights
// made the folder; the access list may admit nobody else.
struct TPrivacyCase {
    const char* Name;
    const char* Owner;
    std::vector<std::string> Admitted;
    const char* Fault; // nullptr: private
};

// Named in the test's name already.
void PrintTo(const TPrivacyCase& c, std::ostream* out) {
    *out << c.Name;
}

class WinPrivacyRule : public ::testing::TestWithParam<TPrivacyCase> {};

constexpr const char* User = "S-1-5-21-1-2-3-1000";

TEST_P(WinPrivacyRule, DecidesWhetherAFolderIsTheUsersOwn) {
    const TPrivacyCase& c = GetParam();
    const auto privacy = win::CheckPrivacy(c.Owner, c.Admitted, User);
    if (c.Fault == nullptr) {
        EXPECT_TRUE(privacy.Ok()) << privacy.Error().Reason;
    } else {
        ASSERT_FALSE(privacy.Ok());
        EXPECT_EQ(privacy.Error().Reason, c.Fault);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Owners, WinPrivacyRule,
    ::testing::Values(
        TPrivacyCase{"User", User, {User}, nullptr},
        TPrivacyCase{"Administrators", "S-1-5-32-544", {User, "S-1-5-18", "S-1-5-32-544"}, nullptr},
        TPrivacyCase{"System", "S-1-5-18", {User}, nullptr},
        TPrivacyCase{"AnotherUser",
                     "S-1-5-21-1-2-3-1001",
                     {User},
                     "belongs to S-1-5-21-1-2-3-1001, not to us"},
        TPrivacyCase{"AdministratorsOpenToEveryone",
                     "S-1-5-32-544",
                     {User, "S-1-1-0"},
                     "is open to S-1-1-0"},
        TPrivacyCase{"AdministratorsOpenToUsers",
                     "S-1-5-32-544",
                     {"S-1-5-32-545"},
                     "is open to S-1-5-32-545"}),
    [](const ::testing::TestParamInfo<TPrivacyCase>& info) { return info.param.Name; });

} // namespace
} // namespace qor
