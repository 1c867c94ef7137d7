// The program run as a bench runs it: a process of its own, over the virtual device and over
// pseudo-terminals in a fake sysfs tree through the real tty back-end, told apart only by its
// exit code, its output and what the device's flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>

#include "device/Protocol.h"
#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

extern char** environ;

namespace qor::test {
namespace {

using ::testing::HasSubstr;

struct TProcessResult {
    int Exit = -1;
    std::string Out;
    std::string Err;
    TBytes Flash;
    std::vector<int> Frames; // request codes the device received
    std::chrono::milliseconds Took{0};
};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CliProcess : public ::testing::TestWithParam<std::string> {
protected:
    // Runs the test build of the program with the scenario's environment.
    TProcessResult Run(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                       bool outputReaderGone = false) {
        const auto path = [this](const char* name) {
            return (Dir.Path / name).string();
        };
        env["QOR_SIM_PORT"] = GetParam();
        env["QOR_SIM_FLASH_OUT"] = path("flash.out");
        env["QOR_SIM_FRAMES_OUT"] = path("frames.out");
        env["XDG_CONFIG_HOME"] = path("config");
        env["XDG_STATE_HOME"] = path("state");
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                environment.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            environment.push_back(name + "=" + value);
        }
        args.insert(args.begin(), QOR_CLI_SIM);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        if (outputReaderGone) {
            EXPECT_EQ(::pipe(pipeEnds), 0);
            ::close(pipeEnds[0]);
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, path("stdout").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        posix_spawn_file_actions_addopen(&actions, 2, path("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        TProcessResult result;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (outputReaderGone) {
            ::close(pipeEnds[1]);
        }
        EXPECT_EQ(spawned, 0);
        int status = 0;
        if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            result.Exit = WEXITSTATUS(status);
        }
        result.Took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        result.Out = ReadText(path("stdout"));
        result.Err = ReadText(path("stderr"));
        const std::string flash = ReadText(path("flash.out"));
        result.Flash.assign(flash.begin(), flash.end());
        std::ifstream frames(path("frames.out"));
        for (int code = 0; frames >> code;) {
            result.Frames.push_back(code);
        }
        return result;
    }

    static bool Wrote(const TProcessResult& result) {
        return std::any_of(result.Frames.begin(), result.Frames.end(), [](int code) {
            return code == CmdBeginUpdate || code == CmdPrepareRange || code == CmdWriteBlock;
        });
    }

    TTempDir Dir;
    const TBytes ImageA = MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt});
    const TBytes ImageB = MakeSampleImage({TImageVariant::B, "1.6b", std::nullopt});
};

TEST_P(CliProcess, ListsAndShowsTheDevice) {
    // The bridges' serial numbers through the port: one of its own, one without.
    const TProcessResult list =
        Run({"list"},
            {{"QOR_SIM_DEVICES", "FT232R USB UART|a;QOR 7316|b|serial=FT7316B2;QOR 7316|serial="}});
    EXPECT_EQ(list.Exit, 0) << list.Err;
    EXPECT_EQ(list.Out, GetParam() == "pty"
                            ? "ttyUSB1\tFT7316B2\tQOR 7316\nttyUSB2\tnone\tQOR 7316\n"
                            : "VQ1\tFT7316B2\tQOR 7316\nVQ2\tnone\tQOR 7316\n");

    const TProcessResult info = Run({"info", "--lang", "en"}, {{"QOR_SIM_DEVICES", "QOR 7316|b"}});
    EXPECT_EQ(info.Exit, 0) << info.Err;
    EXPECT_THAT(info.Out, HasSubstr("Bootloader Version: 1.3b\nFirmware version: 1.0b\n"
                                    "Checksum: valid\n"));
}

TEST_P(CliProcess, FlashesSoThatTheDevicesFlashEqualsTheImage) {
    const std::string file = Dir.Write("b.bin", ImageB);
    const TProcessResult result =
        Run({"flash", file, "--lang", "en"}, {{"QOR_SIM_DEVICES", "QOR 7316|b"}});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_TRUE(result.Flash == ImageB);
    EXPECT_THAT(result.Out, HasSubstr("Updating 100% (252/252 blocks)\n"
                                      "Update finished successfully!\nFirmware version: 1.6b\n"));
    // The command line keeps the same service record as the window.
    std::ifstream log(Dir.Path / "state/qor7316-updater/service.log");
    const std::string record((std::istreambuf_iterator<char>(log)),
                             std::istreambuf_iterator<char>());
    EXPECT_THAT(record, HasSubstr("image     b.bin, version 1.6b, 129024 bytes"));
    EXPECT_THAT(record, HasSubstr("outcome   succeeded"));
}

TEST_P(CliProcess, EachFailureExitIsItsOwnExitCode) {
    const std::string file = Dir.Write("a.bin", ImageA);
    const std::vector<std::tuple<std::string, int, std::string>> cases{
        {"code:5:code13", 10, "Update fehlgeschlagen: 0"},
        {"code:8:crc", 11, "Update fehlgeschlagen: 1"},
        {"block:17:code13", 12, "Update fehlgeschlagen: 2:17"},
        {"code:10:other", 13, "Update fehlgeschlagen: 3"},
        {"code:6:code13", 14, "Update fehlgeschlagen: 4"}, // a cut reply would wait out 8 s
        {"code:3:code13:skip=1", 15, "Update fehlgeschlagen: 5"},
        {"code:4:length:300:skip=1", 16, "Update fehlgeschlagen: 6"},
    };
    for (const auto& [faults, exit, message] : cases) {
        const TProcessResult result = Run({"flash", file}, {{"QOR_SIM_FAULTS", faults}});
        EXPECT_EQ(result.Exit, exit) << faults << "\n" << result.Err;
        EXPECT_THAT(result.Err, HasSubstr(message + "\n")) << faults;
    }
}

TEST_P(CliProcess, AWrongVariantImageIsRefusedWithNothingWritten) {
    const std::string file = Dir.Write("b.bin", ImageB);
    const TBytes untouched = Run({"list"}).Flash;
    const TProcessResult result = Run({"flash", file, "--json"});
    EXPECT_EQ(result.Exit, 4);
    EXPECT_THAT(result.Out, HasSubstr(R"("outcome":"image-does-not-fit")"));
    EXPECT_FALSE(Wrote(result));
    EXPECT_FALSE(result.Frames.empty()) << "the device was asked what it is";
    EXPECT_TRUE(!untouched.empty() && result.Flash == untouched)
        << "the flash the device came with";
}

TEST_P(CliProcess, WaitsForADeviceThatAppearsAfterTwoSeconds) {
    const std::string file = Dir.Write("a.bin", ImageA);
    const TProcessResult result =
        Run({"flash", file, "--wait", "10"}, {{"QOR_SIM_APPEAR_MS", "2000"}});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_TRUE(result.Flash == ImageA);
    EXPECT_GE(result.Took, std::chrono::milliseconds(2000));
    // Without the wait the same bench finds nothing.
    EXPECT_EQ(Run({"flash", file}, {{"QOR_SIM_APPEAR_MS", "2000"}}).Exit, 1);
}

TEST_P(CliProcess, AnUnplugMidUpdateEndsWithTheBlocksExit) {
    const std::string file = Dir.Write("a.bin", ImageA);
    const TProcessResult result =
        Run({"flash", file, "--json"}, {{"QOR_SIM_FAULTS", "block:40:unplug"}});
    EXPECT_EQ(result.Exit, 12) << result.Err;
    EXPECT_THAT(result.Out, HasSubstr(R"("failure_exit":"2:40")"));
    EXPECT_EQ(std::count(result.Frames.begin(), result.Frames.end(), CmdWriteBlock), 41);
}

TEST_P(CliProcess, AReaderOfTheOutputThatGoesAwayDoesNotStopTheUpdate) {
    const std::string file = Dir.Write("a.bin", ImageA);
    const TProcessResult result = Run({"flash", file, "--json"}, {}, true);
    EXPECT_EQ(result.Exit, 0) << result.Err;
    EXPECT_TRUE(result.Flash == ImageA);
}

// The devices on threads of their own, each through its own view of the one port: over
// pseudo-terminals the tty back-end's listing and opening are shared by all of them.
TEST_P(CliProcess, FlashAllWritesEveryDeviceAndRecordsEach) {
    const std::string file = Dir.Write("a.bin", ImageA);
    const TProcessResult result = Run({"flash", file, "--all", "--expect", "3", "--lang", "en"},
                                      {{"QOR_SIM_DEVICES", "QOR 7316|a;QOR 7316|a;QOR 7316|a"},
                                       {"QOR_SIM_FAULTS_1", "block:17:code13"}});
    EXPECT_EQ(result.Exit, 12) << result.Err;
    EXPECT_TRUE(result.Flash == ImageA);
    const std::string flash2 = ReadText(Dir.Path / "flash.out.2");
    EXPECT_TRUE(TBytes(flash2.begin(), flash2.end()) == ImageA);
    const std::string flash1 = ReadText(Dir.Path / "flash.out.1");
    EXPECT_FALSE(TBytes(flash1.begin(), flash1.end()) == ImageA);
    const std::string second = GetParam() == "pty" ? "ttyUSB1" : "VQ1";
    EXPECT_THAT(result.Out, HasSubstr("\n2 of 3 devices updated; exit 12, the code of " + second +
                                      ", the first device that failed\n"));
    const std::string log = ReadText(Dir.Path / "state/qor7316-updater/service.log");
    std::size_t records = 0;
    for (std::size_t at = log.find("\n  outcome "); at != std::string::npos;
         at = log.find("\n  outcome ", at + 1)) {
        ++records;
    }
    EXPECT_EQ(records, 3u) << log;
    EXPECT_THAT(log, HasSubstr("port " + second + ", serial VQ731601\n"));
    const std::string json = ReadText(Dir.Path / "state/qor7316-updater/service-log.jsonl");
    EXPECT_THAT(json, HasSubstr(R"("port":")" + second + R"(","serial":"VQ731601",)"));
}

INSTANTIATE_TEST_SUITE_P(Ports, CliProcess, ::testing::Values("virtual", "pty"));

} // namespace
} // namespace qor::test
