#include "platform/ServiceLog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>
#include <fstream>
#include <sstream>

#include "qortest/ImageFiles.h"

namespace qor {
namespace {

std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ServiceLog, AppendsRecordsInOrderPrivateToTheUser) {
    test::TTempDir root;
    const std::string folder = (root.Path / "state/qor7316-updater").string();
    TServiceLog log(folder);
    ASSERT_TRUE(log.Append("first\n").Ok());
    ASSERT_TRUE(log.Append("second\n").Ok());
    EXPECT_EQ(*log.ReadAll(), "first\nsecond\n");
    EXPECT_EQ(Contents(log.Path()), "first\nsecond\n");
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(log.Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST(ServiceLog, StaysWithinTwiceItsLimitKeepingTheNewestRecords) {
    test::TTempDir root;
    TServiceLog log((root.Path / "log").string(), 100);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(log.Append("record " + std::to_string(i) + "\n").Ok());
    }
    const std::string all = *log.ReadAll();
    EXPECT_LE(all.size(), 200u);
    EXPECT_NE(all.find("record 29\n"), std::string::npos);
    EXPECT_EQ(all.find("record 0\n"), std::string::npos) << "the oldest have gone";
    EXPECT_LE(std::filesystem::file_size(log.Path()), 100u);
    // Oldest first: what was rotated away precedes the current file.
    EXPECT_LT(all.find("record 20\n"), all.find("record 29\n"));
}

TEST(ServiceLog, WorkersAppendingAtOnceKeepEveryRecordWhole) {
    // A bench written in parallel: each device's worker adds its record as it finishes.
    test::TTempDir root;
    TServiceLog log((root.Path / "log").string());
    constexpr int Workers = 8;
    constexpr int Records = 5;
    std::vector<std::thread> workers;
    std::atomic<int> failed{0};
    for (int w = 0; w < Workers; ++w) {
        workers.emplace_back([&, w] {
            for (int r = 0; r < Records; ++r) {
                const std::string line(40, static_cast<char>('a' + w));
                if (!log.Append("worker " + std::to_string(w) + " record " + std::to_string(r) +
                                " " + line + "\n")
                         .Ok()) {
                    ++failed;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failed.load(), 0);
    std::istringstream all(*log.ReadAll());
    std::set<std::string> seen;
    for (std::string line; std::getline(all, line);) {
        const char fill = line.back();
        const std::size_t space = line.rfind(' ');
        ASSERT_EQ(line.substr(space + 1), std::string(40, fill)) << "a record cut or mixed";
        seen.insert(line.substr(0, space));
    }
    EXPECT_EQ(seen.size(), std::size_t{Workers} * Records);
}

TEST(ServiceLog, WithoutAFolderNothingIsWrittenAndTheReasonIsGiven) {
    TServiceLog log("");
    const auto written = log.Append("lost?\n");
    ASSERT_FALSE(written.Ok());
    EXPECT_FALSE(written.Error().Reason.empty());
    EXPECT_FALSE(log.ReadAll().Ok());
}

} // namespace
} // namespace qor
