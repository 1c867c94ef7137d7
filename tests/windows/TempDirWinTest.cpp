#include "platform/TempDir.h"
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

} // namespace
} // namespace qor
