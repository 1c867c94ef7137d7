#include "flow/ServiceLog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "qortest/ImageFiles.h"

namespace qor {
namespace {

std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Put(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// A text record ends with a blank line, a JSON record with its newline.
std::string Text(const std::string& name) {
    return name + "\n  line of " + name + "\n\n";
}
std::string Json(const std::string& name) {
    return R"({"record":")" + name + "\"}\n";
}

TEST(ServiceLog, AppendsRecordsToBothLogsInOrderPrivateToTheUser) {
    test::TTempDir root;
    const std::string folder = (root.Path / "state/qor7316-updater").string();
    TServiceLog log(folder);
    ASSERT_TRUE(log.Append(Text("first"), Json("first")).Ok());
    struct stat before {};
    ASSERT_EQ(::stat(log.Path().c_str(), &before), 0);
    ASSERT_TRUE(log.Append(Text("second"), Json("second")).Ok());
    EXPECT_EQ(*log.ReadAll(), Text("first") + Text("second"));
    EXPECT_EQ(Contents(log.JsonPath()), Json("first") + Json("second"));
    EXPECT_EQ(log.JsonPath(), folder + "/service-log.jsonl");
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const std::string& file : {log.Path(), log.JsonPath()}) {
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0077, 0u) << file;
    }
    // Appended where it was, not written anew beside it and renamed.
    ASSERT_EQ(::stat(log.Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, before.st_ino);
}

TEST(ServiceLog, EachLogStaysWithinTwiceItsLimitKeepingTheNewestRecords) {
    test::TTempDir root;
    TServiceLog log((root.Path / "log").string(), 100, 60);
    for (int i = 0; i < 30; ++i) {
        const std::string name = "record " + std::to_string(i);
        ASSERT_TRUE(log.Append(Text(name), Json(name)).Ok());
    }
    const std::string all = *log.ReadAll();
    EXPECT_LE(all.size(), 200u);
    EXPECT_NE(all.find(Text("record 29")), std::string::npos);
    EXPECT_EQ(all.find("record 0\n"), std::string::npos) << "the oldest have gone";
    EXPECT_LE(std::filesystem::file_size(log.Path()), 100u);
    // Oldest first: what was rotated away precedes the current file.
    EXPECT_LT(all.find("record 27\n"), all.find("record 29\n"));

    const std::string current = Contents(log.JsonPath());
    const std::string both = Contents(log.JsonPath() + ".1") + current;
    EXPECT_LE(current.size(), 60u);
    const std::string newest = Json("record 28") + Json("record 29");
    EXPECT_EQ(both.substr(both.size() - newest.size()), newest);
}

// A crash or a power loss in the middle of a record leaves the file without its end; the
// next record goes in whole after the last whole one, never glued to the torn rest.
TEST(ServiceLog, ATornLastRecordIsCutOffAndDoesNotHoldTheNextOneUp) {
    test::TTempDir root;
    TServiceLog log((root.Path / "log").string());
    ASSERT_TRUE(log.Append(Text("kept"), Json("kept")).Ok());
    Put(log.Path(), Text("kept") + "torn\n  line of to");
    // Zeros where the disk never got the bytes, more than one look back at the end reads.
    Put(log.JsonPath(), Json("kept") + R"({"record":"to)" + std::string(5000, '\0'));

    ASSERT_TRUE(log.Append(Text("next"), Json("next")).Ok());
    EXPECT_EQ(*log.ReadAll(), Text("kept") + Text("next"));
    EXPECT_EQ(Contents(log.JsonPath()), Json("kept") + Json("next"));
}

TEST(ServiceLog, WorkersAppendingAtOnceKeepEveryRecordWholeInBothLogs) {
    // A bench written in parallel: each device's worker adds its record as it finishes.
    test::TTempDir root;
    TServiceLog log((root.Path / "log").string());
    constexpr int Workers = 8;
    constexpr int Records = 5;
    std::vector<std::thread> workers;
    workers.reserve(Workers);
    std::atomic<int> failed{0};
    for (int w = 0; w < Workers; ++w) {
        workers.emplace_back([&, w] {
            for (int r = 0; r < Records; ++r) {
                const std::string name = "worker " + std::to_string(w) + " record " +
                                         std::to_string(r) + " " +
                                         std::string(40, static_cast<char>('a' + w));
                if (!log.Append(Text(name), Json(name)).Ok()) {
                    ++failed;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failed.load(), 0);
    for (const std::string& text : {*log.ReadAll(), Contents(log.JsonPath())}) {
        std::istringstream all(text);
        std::set<std::string> seen;
        for (std::string line; std::getline(all, line);) {
            if (line.empty() || line.rfind("  line of ", 0) == 0) {
                continue;
            }
            const std::size_t fill = line.rfind(' ') + 1;
            ASSERT_EQ(line.substr(fill, 40), std::string(40, line.at(fill))) << "cut or mixed";
            seen.insert(line);
        }
        EXPECT_EQ(seen.size(), std::size_t{Workers} * Records);
    }
}

TEST(ServiceLog, WithoutAFolderNothingIsWrittenAndTheReasonIsGiven) {
    TServiceLog log("");
    const auto written = log.Append(Text("lost?"), Json("lost?"));
    ASSERT_FALSE(written.Ok());
    EXPECT_FALSE(written.Error().Reason.empty());
    EXPECT_FALSE(log.ReadAll().Ok());
}

} // namespace
} // namespace qor
