// flash --all: every device listed at the start written at once, each failing in its own row,
// and a summary whose exit code is the first failed row's in port order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "device/Protocol.h"
#include "qortest/CliHarness.h"
#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// What a terminal shows after the output: carriage return, line feed, cursor up (ESC [ n A)
// and clear to the end of the line (ESC [ K) acted upon.
std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> lines{""};
    std::size_t row = 0;
    std::size_t column = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (++row == lines.size()) {
                lines.emplace_back();
            }
            column = 0;
        } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
            std::size_t end = i + 2;
            while (end < output.size() && std::isdigit(static_cast<unsigned char>(output[end]))) {
                ++end;
            }
            const std::string count = output.substr(i + 2, end - i - 2);
            if (output.at(end) == 'A') {
                row -= std::min(row, count.empty() ? std::size_t{1} : std::stoul(count));
            } else if (output.at(end) == 'K') {
                lines[row].resize(std::min(column, lines[row].size()));
            }
            i = end;
        } else {
            std::string& line = lines[row];
            if (column < line.size()) {
                line[column] = c;
            } else {
                line += c;
            }
            ++column;
        }
    }
    return lines;
}

class FlashAll : public TCliHarness {
protected:
    // Devices of variant a but for those named b, in bus order (VQ0, VQ1, ...).
    void AddDevices(const std::string& variants) {
        for (const char variant : variants) {
            AddDevice(variant == 'b' ? TBootloaderConfig::VariantB()
                                     : TBootloaderConfig::VariantA());
        }
    }
    std::size_t Writes(std::size_t device) {
        return Bus.Device(device).FrameCount(CmdWriteBlock) +
               Bus.Device(device).FrameCount(CmdBeginUpdate);
    }
    // The lines of the output that belong to the device on `port`.
    static std::vector<std::string> RowLines(const TCliResult& result, const std::string& port) {
        std::vector<std::string> lines;
        for (const std::string& line : result.OutLines()) {
            // Not the summary's, whose port column is wider.
            if (line.rfind(port + "  ", 0) == 0 && line.at(port.size() + 2) != ' ') {
                lines.push_back(line);
            }
        }
        return lines;
    }

    TTempDir Dir;
    const TBytes ImageA = MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt});
    const TBytes ImageB = MakeSampleImage({TImageVariant::B, "1.6b", std::nullopt});
    const std::string FileA = Dir.Write("a.bin", ImageA);
};

TEST_F(FlashAll, WritesEveryDeviceAndExitsWithTheFirstFailedRowsCode) {
    // VQ2 is of the other variant, VQ5 refuses block 17: six are written.
    AddDevices("aabaaaaa");
    const TBytes untouchedB = Bus.Device(2).Bootloader.Flash();
    Bus.Device(5).Faults.Add(TFault::OnBlock(17, TFaultKind::AnswerCode13));

    const TCliResult result = Run({"flash", FileA, "--all", "--lang", "en"});

    EXPECT_EQ(result.Exit, 4) << "VQ2's code, the first failed row, not VQ5's 12";
    for (const std::size_t written : {0, 1, 3, 4, 6, 7}) {
        EXPECT_EQ(Bus.Device(written).Bootloader.Flash(), ImageA) << written;
    }
    EXPECT_EQ(Bus.Device(2).Bootloader.Flash(), untouchedB);
    EXPECT_EQ(Writes(2), 0u);
    EXPECT_EQ(Bus.Device(5).FrameCount(CmdWriteBlock), 18u);
    EXPECT_EQ(Bus.Device(5).FrameCount(CmdEndUpdate), 0u);

    // One service record per device, the refused ones included.
    ASSERT_EQ(Record.Entries.size(), 8u);
    std::vector<std::string> recorded;
    for (const TServiceRecord& entry : Record.Entries) {
        recorded.push_back(entry.Port);
    }
    std::sort(recorded.begin(), recorded.end());
    EXPECT_THAT(recorded, ElementsAre("VQ0", "VQ1", "VQ2", "VQ3", "VQ4", "VQ5", "VQ6", "VQ7"));

    // Not on a terminal: a line at the start, at every tenth and at the end of each device.
    EXPECT_EQ(RowLines(result, "VQ0").size(), 1u + 11u + 1u);
    EXPECT_EQ(RowLines(result, "VQ0").front(),
              "VQ0  VQ731600  a  QOR 7316 connected - Firmware version: 1.0a");
    EXPECT_EQ(RowLines(result, "VQ0")[1], "VQ0  VQ731600  a  Updating 0% (1/124 blocks)");
    EXPECT_THAT(RowLines(result, "VQ2"),
                ElementsAre(StartsWith("VQ2  VQ731602  b  QOR 7316 connected"),
                            "VQ2  VQ731602  b  Invalid firmware! - the image is not made for "
                            "this device variant (image 'a', device b)"));
    EXPECT_THAT(RowLines(result, "VQ5"),
                ElementsAre(StartsWith("VQ5  VQ731605  a  QOR 7316"),
                            "VQ5  VQ731605  a  Updating 0% (1/124 blocks)",
                            "VQ5  VQ731605  a  Updating 10% (13/124 blocks)",
                            "VQ5  VQ731605  a  Update failed! - Update fehlgeschlagen: 2:17 - "
                            "refused with code 13"));

    // The summary: a row per device in port order, then the count and the rule's code.
    const auto lines = result.OutLines();
    const auto header = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("port  serial    variant  firmware", 0) == 0;
    });
    ASSERT_NE(header, lines.end()) << result.Out;
    ASSERT_EQ(lines.end() - header, 10);
    EXPECT_EQ(header[0],
              "port  serial    variant  firmware        exit  outcome             seconds");
    EXPECT_EQ(header[1],
              "VQ0   VQ731600  a        1.0a \u2192 1.6a        0  success                 0.3");
    EXPECT_EQ(header[3],
              "VQ2   VQ731602  b        1.0b \u2192 1.0b        4  image-does-not-fit      0.3");
    EXPECT_EQ(header[6],
              "VQ5   VQ731605  a        1.0a \u2192 -- / --    12  update-failed-2         0.3");
    EXPECT_EQ(header[9], "6 of 8 devices updated; exit 4, the code of VQ2, the first device "
                         "that failed");
    EXPECT_EQ(result.Err, "");
}

// A line of eight with --skip-current and --retries: one already runs the image, one fails
// once, one fails every time; each row and the summary say so.
TEST_F(FlashAll, CurrentDevicesAndAttemptsShowInTheRowsAndTheSummary) {
    AddDevices("aaaaaaaa");
    Bus.Device(2).Bootloader.LoadFlash(ImageA);
    Bus.Device(4).Faults.Add(TFault::OnBlock(17, TFaultKind::AnswerCode13));
    TFault always = TFault::OnBlock(30, TFaultKind::AnswerCode13);
    always.Repeat = true;
    Bus.Device(6).Faults.Add(always);

    const TCliResult result =
        Run({"flash", FileA, "--all", "--retries", "1", "--skip-current", "--lang", "en"});
    EXPECT_EQ(result.Exit, 12);
    EXPECT_EQ(Writes(2), 0u);
    EXPECT_EQ(Bus.Device(4).Bootloader.Flash(), ImageA);
    EXPECT_EQ(Bus.Device(6).FrameCount(CmdBeginUpdate), 2u);
    EXPECT_EQ(Record.Entries.size(), 8u + 2u) << "each attempt is recorded";
    EXPECT_EQ(RowLines(result, "VQ4").back(),
              "VQ4  VQ731604  a  Update finished successfully! - Firmware version: 1.6a - "
              "Attempt 1 of 2 failed - Update fehlgeschlagen: 2:17 - refused with code 13");

    const auto lines = result.OutLines();
    const auto header = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("port  serial", 0) == 0;
    });
    ASSERT_EQ(lines.end() - header, 10) << result.Out;
    EXPECT_EQ(header[0], "port  serial    variant  firmware        exit  outcome          seconds"
                         "  attempts");
    EXPECT_EQ(header[3], "VQ2   VQ731602  a        1.6a \u2192 1.6a        0  current              "
                         "0.3         1");
    EXPECT_EQ(header[7], "VQ6   VQ731606  a        1.0a \u2192 -- / --    12  update-failed-2      "
                         "0.3         2");
    EXPECT_EQ(header[9], "6 of 8 devices updated, 1 already current; exit 12, the code of VQ6, "
                         "the first device that failed");
}

TEST_F(FlashAll, ARecordThatCannotBeKeptStaysOnTheDevicesLine) {
    AddDevices("a");
    Record.Refusal = "the log is full";
    const TCliResult result = Run({"flash", FileA, "--all", "--lang", "en"});
    EXPECT_EQ(result.Exit, 0);
    EXPECT_EQ(RowLines(result, "VQ0").back(),
              "VQ0  VQ731600  a  Update finished successfully! - Firmware version: 1.6a - the "
              "service record was not kept: the log is full");
}

TEST_F(FlashAll, JsonGivesEachDevicesEventsWithItsPortAndEndsWithTheSummary) {
    AddDevices("ab");
    const TCliResult result = Run({"flash", FileA, "--all", "--power-off", "--json"});
    EXPECT_EQ(result.Exit, 4);
    const auto lines = result.OutLines();
    ASSERT_GT(lines.size(), 124u);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_THAT(lines[i], StartsWith(R"({"event":)"));
        EXPECT_THAT(lines[i], HasSubstr(R"(,"port":"VQ)")) << lines[i];
    }
    EXPECT_THAT(lines,
                Contains(R"j({"event":"device","port":"VQ1","serial":"VQ731601",)j"
                         R"j("message":"QOR 7316 connected (port VQ1, serial VQ731601)"})j"));
    EXPECT_THAT(lines, Contains(StartsWith(R"({"event":"progress","phase":"write","done":124,)"
                                           R"("total":124,"unit":"blocks","port":"VQ0",)"
                                           R"("serial":"VQ731600",)")));
    EXPECT_THAT(lines, Contains(StartsWith(R"({"event":"power-off","port":"VQ0",)")));
    EXPECT_THAT(lines, Contains(StartsWith(R"({"event":"result","port":"VQ0",)"
                                           R"("serial":"VQ731600","exit":0,)")));
    EXPECT_THAT(lines, Contains(StartsWith(R"({"event":"result","port":"VQ1",)"
                                           R"("serial":"VQ731601","exit":4,)"
                                           R"("outcome":"image-does-not-fit",)")));
    EXPECT_EQ(lines.back(),
              R"({"event":"summary","exit":4,"outcome":"image-does-not-fit","devices":[)"
              R"({"port":"VQ0","serial":"VQ731600","variant":"a","firmware_before":"1.0a",)"
              R"("firmware_after":"1.6a","exit":0,"outcome":"success","attempts":1,)"
              R"("seconds":0.3},)"
              R"({"port":"VQ1","serial":"VQ731601","variant":"b","firmware_before":"1.0b",)"
              R"("firmware_after":"1.0b","exit":4,"outcome":"image-does-not-fit","attempts":1,)"
              R"("seconds":0.3}],"updated":1,"current":0,"failed":1,"message":"1 of 2 devices )"
              R"(updated; exit 4, the code of VQ1, the first device that failed"})");
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 1u);
    EXPECT_EQ(Bus.Device(1).FrameCount(CmdPowerOff), 0u);
}

TEST_F(FlashAll, ATerminalGetsOneLinePerDeviceRedrawnInPlace) {
    AddDevices("aaa");
    Bus.Device(1).Faults.Add(TFault::OnBlock(90, TFaultKind::AnswerCode13));
    TerminalColumns = 60; // a line is cut at 59 characters, so that none wraps
    const TCliResult result = Run({"flash", FileA, "--all", "--lang", "en"}, true);
    EXPECT_EQ(result.Exit, 12);
    const std::vector<std::string> screen = Screen(result.Out);
    // The image, the three rows, a blank line, the summary's header, rows and last line.
    ASSERT_EQ(screen.size(), 1u + 3u + 1u + 5u + 1u) << result.Out;
    EXPECT_EQ(screen[0], "Firmware loaded! a.bin 1.6a");
    const std::string succeeded = "  a  Update finished successfully! - Firmware version: 1.6a";
    EXPECT_EQ(screen[1], ("VQ0  VQ731600" + succeeded).substr(0, 59));
    EXPECT_EQ(screen[2], std::string("VQ1  VQ731601  a  Update failed! - Update fehlgeschlagen: "
                                     "2:90 - refused with code 13")
                             .substr(0, 59));
    EXPECT_EQ(screen[3], ("VQ2  VQ731602" + succeeded).substr(0, 59));
    EXPECT_EQ(screen[4], "");
    EXPECT_THAT(screen[5], StartsWith("port  serial    variant"));
    EXPECT_THAT(screen[9], StartsWith("2 of 3 devices updated; exit 12"));
    EXPECT_EQ(result.Err, "");
}

TEST_F(FlashAll, ADeviceThatLeavesFailsItsRowOnly) {
    AddDevices("aaa");
    Bus.Device(1).Faults.Add(TFault::OnBlock(40, TFaultKind::Unplug));
    const TCliResult result = Run({"flash", FileA, "--all", "--power-off", "--lang", "en"});
    EXPECT_EQ(result.Exit, 12);
    EXPECT_EQ(Bus.Device(0).Bootloader.Flash(), ImageA);
    EXPECT_EQ(Bus.Device(2).Bootloader.Flash(), ImageA);
    // Each switched off after its own success, which takes it off the bus too.
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 1u);
    EXPECT_EQ(Bus.Device(1).FrameCount(CmdPowerOff), 0u);
    EXPECT_EQ(Bus.Device(2).FrameCount(CmdPowerOff), 1u);
    EXPECT_THAT(RowLines(result, "VQ1").back(),
                StartsWith("VQ1  VQ731601  a  Update failed! - Update fehlgeschlagen: 2:40"));
}

TEST_F(FlashAll, AStopEndsEveryDeviceAtItsNextBlock) {
    AddDevices("aaaa");
    // Asked before each device's range request and every block, from all threads.
    std::atomic<int> asked{0};
    Interrupt = [&] {
        return ++asked > 60;
    };
    const TCliResult result = Run({"flash", FileA, "--all", "--json"});
    EXPECT_EQ(result.Exit, 7);
    for (std::size_t i = 0; i < 4; ++i) {
        const TVirtualDevice& device = Bus.Device(i);
        EXPECT_LT(device.FrameCount(CmdWriteBlock), 124u) << i;
        EXPECT_EQ(device.FrameCount(CmdFinishRange), 0u) << i;
        EXPECT_EQ(device.FrameCount(CmdEndUpdate), 0u) << i;
        EXPECT_THAT(result.Out, HasSubstr(R"({"event":"result","port":"VQ)" + std::to_string(i) +
                                          R"(","serial":"VQ73160)" + std::to_string(i) +
                                          R"(","exit":7,"outcome":"interrupted")"));
    }
}

struct TTakeCase {
    const char* Name;
    std::size_t Present; // listed from the start
    std::size_t Later;   // plugged in later, the first one second after the start, one a second
    std::vector<std::string> Args;
    int Exit;
    std::vector<std::size_t> Written; // the devices written
};

void PrintTo(const TTakeCase& take, std::ostream* out) {
    *out << take.Name;
}

class FlashAllTakes : public FlashAll, public ::testing::WithParamInterface<TTakeCase> {};

TEST_P(FlashAllTakes, TheDevicesListedAtTheStartAndExpectWantsExactlyThatMany) {
    const TTakeCase& c = GetParam();
    for (std::size_t i = 0; i < c.Present + c.Later; ++i) {
        TVirtualDevice& device = AddDevice();
        if (i >= c.Present) {
            device.Unplug();
            Clock.At(std::chrono::milliseconds(1000 * (i - c.Present + 1)),
                     [&device] { device.Plug(); });
        }
    }
    std::vector<std::string> args{"flash", FileA, "--all"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TCliResult result = Run(args);
    EXPECT_EQ(result.Exit, c.Exit) << result.Err;
    for (std::size_t i = 0; i < c.Present + c.Later; ++i) {
        const bool written = std::find(c.Written.begin(), c.Written.end(), i) != c.Written.end();
        EXPECT_EQ(Bus.Device(i).Bootloader.Flash() == ImageA, written) << i;
        if (!written) {
            EXPECT_EQ(Writes(i), 0u) << i;
        }
        if (c.Exit == 8) {
            EXPECT_TRUE(Bus.Device(i).Frames.empty()) << "nothing was even asked";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    WaitExpectAndSerial, FlashAllTakes,
    ::testing::Values(
        TTakeCase{"TooFew", 2, 0, {"--expect", "3"}, 8, {}},
        TTakeCase{"TooMany", 3, 0, {"--expect", "2"}, 8, {}},
        TTakeCase{"TooFewWhenTheWaitEnds", 1, 2, {"--expect", "3", "--wait", "1.5"}, 8, {}},
        // The third comes at one second and is waited for; the fourth is late.
        TTakeCase{"WaitedForUntilThereAreN", 2, 2, {"--expect", "3", "--wait", "10"}, 0, {0, 1, 2}},
        TTakeCase{"WaitedForUntilThereIsOne", 0, 2, {"--wait", "10"}, 0, {0}},
        TTakeCase{"NoneAtAll", 0, 0, {"--wait", "0.5"}, 1, {}},
        TTakeCase{"OnlyTheSerialsGiven",
                  4,
                  0,
                  {"--serial", "VQ731601", "--serial", "VQ731603"},
                  0,
                  {1, 3}},
        TTakeCase{"ExpectCountsTheSerials",
                  4,
                  0,
                  {"--serial", "VQ731601", "--serial", "VQ731603", "--expect", "2"},
                  0,
                  {1, 3}},
        TTakeCase{"ExpectMoreThanTheSerials",
                  4,
                  0,
                  {"--serial", "VQ731601", "--serial", "VQ731603", "--expect", "3"},
                  8,
                  {}},
        TTakeCase{
            "ASerialThatIsNotThere", 3, 0, {"--serial", "VQ731600", "--serial", "VQ731609"}, 1, {}},
        // The second comes at one second but is not asked for; the third at two is waited for.
        TTakeCase{"WaitedForUntilEverySerialIsThere",
                  1,
                  2,
                  {"--serial", "VQ731600", "--serial", "VQ731602", "--wait", "10"},
                  0,
                  {0, 2}},
        TTakeCase{"ASerialLateForTheWait", 1, 2, {"--serial", "VQ731602", "--wait", "1.5"}, 1, {}}),
    [](const ::testing::TestParamInfo<TTakeCase>& info) { return std::string(info.param.Name); });

TEST_F(FlashAll, AWrongCountSaysWhatWasFound) {
    AddDevices("aa");
    const TCliResult result = Run({"flash", FileA, "--all", "--expect", "3", "--json"});
    EXPECT_EQ(result.Exit, 8);
    EXPECT_EQ(result.Out, R"j({"event":"result","exit":8,"outcome":"device-count","reason":"2 )j"
                          R"j(devices found (VQ0, VQ1), 3 expected","found":2,"expected":3,)j"
                          R"j("message":"2 devices found (VQ0, VQ1), 3 expected"})j"
                          "\n");
}

TEST_F(FlashAll, DownloadsOnceForEachVariantPresent) {
    AddDevices("abab");
    Fetch.Bodies[TVariantKind::A] = ImageA;
    Fetch.Bodies[TVariantKind::B] = ImageB;
    const TCliResult result = Run({"flash", "--download", "--all", "--lang", "en"});
    ASSERT_EQ(result.Exit, 0) << result.Out;
    ASSERT_EQ(Fetch.Requests.size(), 2u);
    EXPECT_EQ(Fetch.Requests[0].Variant, TVariantKind::A);
    EXPECT_EQ(Fetch.Requests[1].Variant, TVariantKind::B);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Bus.Device(i).Bootloader.Flash(), i % 2 == 0 ? ImageA : ImageB) << i;
    }

    // A download that fails fails the rows of its variant, with nothing written to them.
    Fetch.Requests.clear();
    Fetch.Failure = TDownloadError{
        TDownloadFailure::DownloadFailed, "connection refused", {}, "Download failed!"};
    const TCliResult failed = Run({"flash", "--download", "--all", "--json"});
    EXPECT_EQ(failed.Exit, 6);
    EXPECT_EQ(Fetch.Requests.size(), 2u);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdBeginUpdate), 1u) << "only the first run's";
}

} // namespace
} // namespace qor::test
