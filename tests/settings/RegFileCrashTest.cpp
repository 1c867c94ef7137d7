// A writer killed at any moment leaves the store readable, with the old or the new contents.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <random>
#include <sched.h>
#include <sys/wait.h>

#include "platform/PosixFiles.h"
#include "platform/TempName.h"
#include "qortest/PlatformTestSupport.h"
#include "qortest/RegValues.h"
#include "settings/RegFileFormat.h"
#include "settings/RegFileStore.h"
#include "settings/SettingsStore.h"

using namespace qor;
using namespace qor::test;

namespace {

constexpr int KillCycles = 150;
constexpr int WatchPolls = 200000;
constexpr std::size_t PayloadSize =
    std::size_t{24} * 1024; // a file of ~75 KB, so writing takes a while
constexpr const char* PayloadName = "Payload";

// Sequence number first, then bytes that follow from it: a torn or mixed value cannot match.
TRegValue PayloadFor(std::uint64_t sequence) {
    std::vector<std::uint8_t> data(sizeof sequence + PayloadSize);
    std::uint64_t state = sequence * 0x9E3779B97F4A7C15ULL + 1;
    for (std::size_t i = 0; i < data.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        data[i] = i < sizeof sequence ? static_cast<std::uint8_t>(sequence >> (8 * i))
                                      : static_cast<std::uint8_t>(state);
    }
    return {RegType::Binary, data};
}

std::uint64_t SequenceOf(const TRegValue& value) {
    std::uint64_t sequence = 0;
    for (std::size_t i = 0; i < sizeof sequence && i < value.Data.size(); ++i) {
        sequence |= static_cast<std::uint64_t>(value.Data[i]) << (8 * i);
    }
    return sequence;
}

// The child: saves sequence numbers from `first` on as fast as it can, reporting each one
// after its SetValue has returned. It never returns; the parent kills it.
[[noreturn]] void SaveForever(const std::string& root, std::uint64_t first, int report) {
    TRegFileStore store(root);
    auto key = KeyOf(store.CreateKey(SettingsKeyPath, TRegAccess::Write));
    for (std::uint64_t sequence = first; key != nullptr && sequence < first + 100000; ++sequence) {
        if (!key->SetValue(PayloadName, PayloadFor(sequence)) ||
            ::write(report, &sequence, sizeof sequence) != sizeof sequence) {
            break;
        }
    }
    ::_exit(1);
}

int CountTempFiles(const std::string& file) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(posix::DirectoryOf(file).c_str()),
                                                  ::closedir);
    int count = 0;
    while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
        count += IsTempNameFor(entry->d_name, posix::BaseNameOf(file)) ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(RegFileCrashTest, KilledWriterLeavesTheOldOrTheNewContents) {
    TScratchDir dir;
    const std::string& root = dir.Path();
    TRegFileStore setup(root);
    const auto fileOf = setup.FileOf(SettingsKeyPath);
    ASSERT_TRUE(fileOf);
    const std::string file = *fileOf;
    TSettings settings;
    settings.CfgProxyServer = "proxy.local";
    ASSERT_TRUE(TSettingsStore(setup).Save(settings));
    ASSERT_TRUE((*setup.CreateKey(SettingsKeyPath, TRegAccess::Write))
                    ->SetValue(PayloadName, PayloadFor(0)));

    std::mt19937 random(7316);
    std::uint64_t stored = 0;
    int midWrite = 0;
    int afterRename = 0;
    for (int cycle = 0; cycle < KillCycles; ++cycle) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            SaveForever(root, stored + 1, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);
        // Let it commit a few saves, then strike at a random point of the next one.
        const std::uint64_t commits = 1 + random() % 3;
        std::uint64_t reported = 0;
        std::uint64_t last = stored;
        while (reported < commits && ::read(pipeEnds[0], &last, sizeof last) == sizeof last) {
            ++reported;
        }
        // Every other cycle first watches for the next save's temporary file, so that many
        // kills land inside a write however fast or slow the disk is today.
        const bool watch = cycle % 2 == 0;
        if (watch) {
            for (int polls = 0; polls < WatchPolls && CountTempFiles(file) == 0; ++polls) {
            }
        }
        for (std::uint32_t spins = random() % (watch ? 64 : 4000); spins > 0; --spins) {
            ::sched_yield();
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (::read(pipeEnds[0], &last, sizeof last) == sizeof last) {
            ++reported;
        }
        ::close(pipeEnds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself in cycle " << cycle;
        ASSERT_GE(reported, commits);

        midWrite += CountTempFiles(file) > 0 ? 1 : 0;
        // The dead writer's lock is gone with it: no waiting needed.
        TRegFileStore check(root, std::chrono::milliseconds(0));
        TStoreFailure refusal;
        auto key = KeyOf(check.CreateKey(SettingsKeyPath, TRegAccess::Read), &refusal);
        ASSERT_NE(key, nullptr) << refusal.Detail;
        const auto parsed = ParseRegFile(ReadText(file), SettingsKeyPath);
        ASSERT_TRUE(parsed) << parsed.Error().Reason;
        const auto payload = key->QueryValue(PayloadName);
        ASSERT_TRUE(payload.has_value());
        const std::uint64_t sequence = SequenceOf(*payload);
        ASSERT_EQ(*payload, PayloadFor(sequence)) << "torn value in cycle " << cycle;
        ASSERT_TRUE(sequence == last || sequence == last + 1)
            << "cycle " << cycle << ": file holds " << sequence << ", last reported " << last;
        afterRename += sequence == last + 1 ? 1 : 0;
        EXPECT_EQ(
            key->QueryValue("ProxyServer"),
            (TRegValue{RegType::Sz, {'p', 'r', 'o', 'x', 'y', '.', 'l', 'o', 'c', 'a', 'l', 0}}));
        EXPECT_TRUE(check.TakeNotices().empty());
        stored = sequence;
    }
    // The next writer sweeps up what the killed ones left half-written.
    ASSERT_TRUE(setup.CreateKey(SettingsKeyPath, TRegAccess::Write).Ok());
    EXPECT_EQ(CountTempFiles(file), 0);

    std::cout << "kill cycles: " << KillCycles
              << ", killed mid-write (temporary file left): " << midWrite
              << ", killed between rename and report: " << afterRename
              << ", saves committed: " << stored << "\n";
    RecordProperty("MidWriteKills", midWrite);
    // A kill that never lands inside a write would prove nothing about torn files.
    EXPECT_GT(midWrite, KillCycles / 10);
}
