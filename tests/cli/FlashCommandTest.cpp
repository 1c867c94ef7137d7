// flash: the same checks, exchanges and failure exits as the window's update, each outcome
// with its own exit code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "qortest/CliHarness.h"
#include "qortest/FaultText.h"
#include "qortest/ImageFiles.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class FlashCommand : public TCliHarness {
protected:
    std::string ImageFile(const TBytes& bytes, const std::string& name = "image.bin") {
        return Dir.Write(name, bytes);
    }
    // Codes of the requests that change the flash, as the device received them.
    std::vector<std::uint8_t> WritingRequests(std::size_t device = 0) {
        std::vector<std::uint8_t> codes;
        for (const TFrameRecord& frame : Bus.Device(device).Frames) {
            if (frame.Code == CmdBeginUpdate || frame.Code == CmdPrepareRange ||
                frame.Code == CmdWriteBlock || frame.Code == CmdFinishRange ||
                frame.Code == CmdEndUpdate) {
                codes.push_back(frame.Code);
            }
        }
        return codes;
    }

    TTempDir Dir;
    const TBytes ImageA = MakeSampleImage({TImageVariant::A, "1.6a", std::nullopt});
    const TBytes ImageB = MakeSampleImage({TImageVariant::B, "1.6b", std::nullopt});
};

TEST_F(FlashCommand, WritesTheImageSoThatTheFlashHoldsIt) {
    for (const bool b : {false, true}) {
        TVirtualDevice& device =
            AddDevice(b ? TBootloaderConfig::VariantB() : TBootloaderConfig::VariantA());
        const TBytes& image = b ? ImageB : ImageA;
        const TCliResult result =
            Run({"flash", ImageFile(image), "--lang", "en", "--port", b ? "VQ1" : "VQ0"});
        ASSERT_EQ(result.Exit, 0) << result.Err;
        EXPECT_EQ(device.Bootloader.Flash(), image);
        const auto lines = result.OutLines();
        EXPECT_EQ(lines.back(), std::string("Firmware version: ") + (b ? "1.6b" : "1.6a"));
        EXPECT_EQ(lines.at(lines.size() - 2), "Update finished successfully!");
        EXPECT_EQ(lines.at(1), std::string("Firmware loaded! image.bin ") + (b ? "1.6b" : "1.6a"));
        EXPECT_EQ(device.FrameCount(CmdWriteBlock), image.size() / 512);
        EXPECT_EQ(device.FrameCount(CmdPowerOff), 0u);
    }
    // One call of the service record's seam per update, with what it did.
    ASSERT_EQ(Record.Entries.size(), 2u);
    EXPECT_EQ(Record.Entries[1].Outcome.Result, TUpdateResult::Succeeded);
    EXPECT_EQ(Record.Entries[1].ImageVersion, "1.6b");
    EXPECT_EQ(Record.Entries[1].Before.DeviceFWVersion, "1.0b");
    EXPECT_EQ(Record.Entries[1].After.DeviceFWVersion, "1.6b");
    EXPECT_EQ(Record.Entries[1].Port, "VQ1");
}

// Whatever good replies the bootloader chooses (its acknowledgement's code, the version
// reply's, the queries' replies swapped, data replies to the requests that change it) and a
// flash with no application (its firmware-version request acknowledged): info, flash and
// power-off go through, and the version shown afterwards is the one the update read back.
struct TReplyChoice {
    const char* Name;
    std::uint8_t AckCode;
    std::uint8_t VersionReplyCode;
    bool NoApplication = false;
    bool SwapQueryReplies = false;
    bool DataAcknowledgements = false;
};

void PrintTo(const TReplyChoice& c, std::ostream* out) {
    *out << c.Name;
}

class FlashAcknowledgement : public FlashCommand,
                             public ::testing::WithParamInterface<TReplyChoice> {};

TEST_P(FlashAcknowledgement, InfoFlashAndPowerOffTakeTheDevicesReplies) {
    TBootloaderConfig config = TBootloaderConfig::VariantA();
    config.AckCode = GetParam().AckCode;
    config.VersionReplyCode = GetParam().VersionReplyCode;
    config.NoApplication = GetParam().NoApplication;
    config.SwapQueryReplies = GetParam().SwapQueryReplies;
    config.DataAcknowledgements = GetParam().DataAcknowledgements;
    TVirtualDevice& device = AddDevice(config);
    const TCliResult info = Run({"info", "--json"});
    EXPECT_EQ(info.Exit, 0) << info.Err;
    EXPECT_THAT(info.Out, HasSubstr(GetParam().NoApplication ? R"("firmware_version":null)"
                                                             : R"("firmware_version":"1.0a")"));
    const TCliResult result = Run({"flash", ImageFile(ImageA), "--power-off", "--json"});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(device.Bootloader.Flash(), ImageA);
    const auto lines = result.OutLines();
    EXPECT_THAT(lines.at(lines.size() - 2),
                HasSubstr(R"({"event":"power-off","port":"VQ0","serial":"VQ731600",)"
                          R"("acknowledged":true)"));
    EXPECT_THAT(lines.back(), HasSubstr(R"("firmware_version":"1.6a")"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryChoice, FlashAcknowledgement,
    ::testing::Values(TReplyChoice{"Ack5", 5, 0}, TReplyChoice{"Ack7Version7", 7, 7},
                      TReplyChoice{"Ack12Version4", 12, 4},
                      TReplyChoice{"NoApplication", 7, 0, true},
                      TReplyChoice{"SwappedQueries", 7, 0, false, true},
                      TReplyChoice{"DataAcknowledgements", 7, 0, false, false, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FlashCommand, JsonReportsEveryBlockAndEndsWithTheResult) {
    AddDevice();
    const TCliResult result = Run({"flash", ImageFile(ImageA), "--json", "--lang", "de"});
    ASSERT_EQ(result.Exit, 0);
    const auto lines = result.OutLines();
    ASSERT_EQ(lines.size(), 2u + 124u + 1u);
    // Every event from the device's answer on names it.
    EXPECT_EQ(lines[0], R"j({"event":"device","port":"VQ0","serial":"VQ731600","message":)j"
                        R"j("QOR 7316 verbunden (port VQ0, serial VQ731600)"})j");
    EXPECT_THAT(lines[1], HasSubstr(R"("event":"image","port":"VQ0","serial":"VQ731600",)"));
    EXPECT_THAT(lines[2], HasSubstr(R"("done":1,"total":124,"unit":"blocks","port":"VQ0",)"
                                    R"("serial":"VQ731600","block":0,"permille":0})"));
    EXPECT_THAT(lines[125], HasSubstr(R"("block":123,"permille":991})"));
    EXPECT_EQ(lines[126], R"({"event":"result","port":"VQ0","serial":"VQ731600","exit":0,)"
                          R"("outcome":"success","blocks_written":124,)"
                          R"("firmware_version":"1.6a","message":"Update erfolgreich )"
                          R"(abgeschlossen!\nFirmware version: 1.6a"})");
}

struct TFailureCase {
    TFault Fault;
    int Exit;
    const char* Message;
    std::uint8_t FailedCode;
};

TEST_F(FlashCommand, EachFailureExitOfTheUpdateHasItsOwnCodeAndTheWindowsMessage) {
    TFault checksums = TFault::OnCode(CmdGetChecksums, TFaultKind::AnswerCode13);
    checksums.Skip = 1; // the first one is the connection's full query
    TFault version = TFault::OnCode(CmdGetFirmwareVersion, TFaultKind::DropReply);
    version.Skip = 1;
    const std::vector<TFailureCase> cases{
        {TFault::OnCode(CmdBeginUpdate, TFaultKind::AnswerCode13), 10, "Update fehlgeschlagen: 0",
         CmdBeginUpdate},
        {TFault::OnCode(CmdPrepareRange, TFaultKind::CorruptCrc), 11, "Update fehlgeschlagen: 1",
         CmdPrepareRange},
        {TFault::OnBlock(17, TFaultKind::AnswerCode13), 12, "Update fehlgeschlagen: 2:17",
         CmdWriteBlock},
        {TFault::OnCode(CmdFinishRange, TFaultKind::AnswerOtherCode), 13,
         "Update fehlgeschlagen: 3", CmdFinishRange},
        {TFault::OnCode(CmdEndUpdate, TFaultKind::Truncate), 14, "Update fehlgeschlagen: 4",
         CmdEndUpdate},
        {checksums, 15, "Update fehlgeschlagen: 5", CmdGetChecksums},
        {version, 16, "Update fehlgeschlagen: 6", CmdGetFirmwareVersion},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        TVirtualDevice& device = AddDevice();
        device.Faults.Add(cases[i].Fault);
        const TCliResult result = Run({"flash", ImageFile(ImageA), "--port",
                                       "VQ" + std::to_string(i), "--power-off", "--lang", "fr"});
        EXPECT_EQ(result.Exit, cases[i].Exit) << cases[i].Message;
        const std::string expected =
            std::string("Mise à jour a échoué!\n") + cases[i].Message + "\n";
        EXPECT_EQ(result.Err.substr(0, expected.size()), expected);
        EXPECT_EQ(device.FrameCount(CmdPowerOff), 0u) << "no power-off after a failure";
        EXPECT_EQ(device.Frames.back().Code, cases[i].FailedCode) << "nothing after the failure";
    }
    EXPECT_EQ(Bus.Device(2).FrameCount(CmdWriteBlock), 18u);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPrepareRange), 0u);
    ASSERT_EQ(Record.Entries.size(), cases.size());
    ASSERT_TRUE(Record.Entries[2].Outcome.Failure);
    EXPECT_EQ(Record.Entries[2].Outcome.Failure->ExitText(), "2:17");
}

TEST_F(FlashCommand, UnequalChecksumsAfterAWholeUpdateAreTheirOwnOutcome) {
    AddDevice();
    // A valid image shorter than the flash: written whole, but the device's checksums then
    // cover the old bytes behind it.
    const TCliResult result = Run({"flash", ImageFile(MakeImage(4096, "1.6a")), "--power-off"});
    EXPECT_EQ(result.Exit, 5);
    EXPECT_THAT(result.Err, HasSubstr("checksums differ"));
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 0u);
}

TEST_F(FlashCommand, AnImageThatDoesNotFitIsRefusedWithNothingWritten) {
    TVirtualDevice& a = AddDevice();
    const TBytes before = a.Bootloader.Flash();
    const TCliResult wrong = Run({"flash", ImageFile(ImageB), "--power-off", "--lang", "en"});
    EXPECT_EQ(wrong.Exit, 4);
    EXPECT_EQ(wrong.Err, "Invalid firmware!\nthe image is not made for this device variant "
                         "(image 'b', device a)\n");
    // Larger than the flash though its letter is right.
    TBytes tooLarge = MakeImage(VariantAPageSize * VariantAPageCount + 512, "1.6a");
    EXPECT_EQ(Run({"flash", ImageFile(tooLarge)}).Exit, 4);
    EXPECT_THAT(WritingRequests(), IsEmpty());
    EXPECT_EQ(a.FrameCount(CmdPowerOff), 0u);
    EXPECT_EQ(a.Bootloader.Flash(), before);

    // No image fits a device of another variant.
    AddDevice(TBootloaderConfig{PageSizeCode256, 128});
    EXPECT_EQ(Run({"flash", ImageFile(ImageA), "--port", "VQ1"}).Exit, 4);
    EXPECT_THAT(WritingRequests(1), IsEmpty());
    // The log keeps each attempt, as the window's does.
    ASSERT_EQ(Record.Entries.size(), 3u);
    for (const TServiceRecord& entry : Record.Entries) {
        EXPECT_EQ(entry.Outcome.Result, TUpdateResult::Refused);
        EXPECT_FALSE(entry.Outcome.Refusal.empty());
    }
}

TEST_F(FlashCommand, AnInvalidFileIsRefusedBeforeAnyDeviceIsAsked) {
    AddDevice();
    TBytes flipped = ImageA;
    flipped[100] ^= 1;
    const std::vector<std::string> files{ImageFile(flipped, "flipped.bin"),
                                         ImageFile({}, "empty.bin"),
                                         ImageFile(WithTrailer({1, 2, 3, 4}), "short.bin"),
                                         (Dir.Path / "missing.bin").string(), Dir.Path.string()};
    for (const std::string& file : files) {
        const TCliResult result = Run({"flash", file, "--lang", "es"});
        EXPECT_EQ(result.Exit, 3) << file;
        EXPECT_EQ(result.Err.substr(0, result.Err.find('\n')), "Ungültige Firmware-Datei!");
    }
    EXPECT_THAT(Bus.Device(0).Frames, IsEmpty());
}

TEST_F(FlashCommand, PowerOffAfterASuccessfulUpdate) {
    AddDevice();
    const TCliResult result = Run({"flash", ImageFile(ImageA), "--power-off", "--json"});
    ASSERT_EQ(result.Exit, 0);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 1u);
    const auto lines = result.OutLines();
    EXPECT_THAT(lines.at(lines.size() - 2), HasSubstr(R"("acknowledged":true)"));
    EXPECT_EQ(Bus.Device(0).Frames.back().Code, CmdPowerOff);
}

TEST_F(FlashCommand, ARecordThatCannotBeKeptIsToldAndTheUpdateStands) {
    AddDevice();
    Record.Refusal = "cannot write '/home/x/service.log': No space left on device";
    const TCliResult result = Run({"flash", ImageFile(ImageA), "--lang", "en"});
    EXPECT_EQ(result.Exit, 0);
    EXPECT_EQ(Bus.Device(0).Bootloader.Flash(), ImageA);
    EXPECT_THAT(result.Err, HasSubstr("the service record was not kept: cannot write "
                                      "'/home/x/service.log': No space left on device\n"));
    EXPECT_THAT(result.Out, HasSubstr("Update finished successfully!"));
}

TEST_F(FlashCommand, AnUnplugMidUpdateEndsWithTheBlocksFailureExit) {
    AddDevice().Faults.Add(TFault::OnBlock(40, TFaultKind::Unplug));
    const TCliResult result = Run({"flash", ImageFile(ImageA), "--json"});
    EXPECT_EQ(result.Exit, 12);
    EXPECT_THAT(result.OutLines().back(),
                HasSubstr(R"("exit":12,"outcome":"update-failed-2","blocks_written":40,)"
                          R"("failure_exit":"2:40",)"));
}

TEST_F(FlashCommand, AnInterruptStopsBeforeTheNextBlockAndSendsNothingMore) {
    AddDevice();
    int asked = 0;
    Interrupt = [&] {
        return ++asked > 30;
    };
    const TCliResult result = Run({"flash", ImageFile(ImageA)});
    EXPECT_EQ(result.Exit, 7);
    EXPECT_GT(Bus.Device(0).FrameCount(CmdWriteBlock), 0u);
    EXPECT_LT(Bus.Device(0).FrameCount(CmdWriteBlock), 124u);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdEndUpdate), 0u);
    EXPECT_EQ(Bus.Device(0).Frames.back().Code, CmdWriteBlock);
}

TEST_F(FlashCommand, ThePortOptionChoosesAmongSeveralDevices) {
    AddDevice();
    TVirtualDevice& second = AddDevice();
    const TBytes first = Bus.Device(0).Bootloader.Flash();
    ASSERT_EQ(Run({"flash", ImageFile(ImageA), "--port", "VQ1"}).Exit, 0);
    EXPECT_EQ(second.Bootloader.Flash(), ImageA);
    EXPECT_EQ(Bus.Device(0).Bootloader.Flash(), first);
    EXPECT_EQ(Run({"flash", ImageFile(ImageA), "--port", "VQ7"}).Exit, 1);
}

// --skip-current as a script and a person see it; which devices count as current is the
// update flow's rule.
TEST_F(FlashCommand, ADeviceThatRunsTheImageIsCurrentAndNotWritten) {
    TVirtualDevice& device = AddDevice();
    device.Bootloader.LoadFlash(ImageA);
    const TCliResult result =
        Run({"flash", ImageFile(ImageA), "--skip-current", "--power-off", "--json"});
    EXPECT_EQ(result.Exit, 0);
    EXPECT_THAT(WritingRequests(), IsEmpty());
    EXPECT_EQ(device.FrameCount(CmdPowerOff), 1u) << "done with it as with one written";
    EXPECT_THAT(result.OutLines().back(),
                HasSubstr(R"("exit":0,"outcome":"current","blocks_written":0,)"
                          R"("firmware_version":"1.6a","message":"The device already runs )"
                          R"(this image; nothing was written)"));
    ASSERT_EQ(Record.Entries.size(), 1u);
    EXPECT_TRUE(Record.Entries[0].Current);
}

// --retries: what may pass on a second try starts again from the begin request while the
// device is there; a refused image, a stop and a device that does not come back end it.
struct TRetryCase {
    const char* Name;
    const char* Faults; // written as text; an unplugged device comes back at 3 s
    bool StopAfterFiveBlocks;
    std::vector<std::string> Args;
    int Exit;             // 5: an image short of the flash; 4: another variant's
    std::size_t Attempts; // begin requests the device received, records kept
    std::size_t Told;     // failed attempts told of before trying again
};

void PrintTo(const TRetryCase& retry, std::ostream* out) {
    *out << retry.Name;
}

class FlashRetries : public FlashCommand, public ::testing::WithParamInterface<TRetryCase> {};

TEST_P(FlashRetries, StartAgainAsLongAsItMayPass) {
    const TRetryCase& c = GetParam();
    TVirtualDevice& device = AddDevice();
    const auto faults = ParseFaults(c.Faults);
    ASSERT_TRUE(faults.has_value());
    for (const TFault& fault : *faults) {
        device.Faults.Add(fault);
    }
    Clock.At(cli::TMs(3000), [&device] { device.Plug(); });
    if (c.StopAfterFiveBlocks) {
        Interrupt = [&device] {
            return device.FrameCount(CmdWriteBlock) >= 5;
        };
    }
    const TBytes image = c.Exit == 5 ? MakeImage(4096, "1.6a") : c.Exit == 4 ? ImageB : ImageA;
    std::vector<std::string> args{"flash", ImageFile(image), "--json"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TCliResult result = Run(args);
    EXPECT_EQ(result.Exit, c.Exit) << result.Out;
    EXPECT_EQ(device.FrameCount(CmdBeginUpdate), c.Exit == 4 ? 0 : c.Attempts);
    ASSERT_EQ(Record.Entries.size(), c.Attempts);
    for (std::size_t i = 0; i < c.Attempts; ++i) {
        EXPECT_EQ(Record.Entries[i].Attempt, i + 1);
        // Each attempt starts from what the one before left in the flash, asked afresh.
        EXPECT_EQ(Record.Entries[i].Before.ChecksumValid(), i == 0) << i;
    }
    EXPECT_EQ(Record.Entries.back().Exit, c.Exit);
    const auto lines = result.OutLines();
    EXPECT_EQ(
        static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(),
            [](const std::string& line) { return line.starts_with(R"({"event":"attempt",)"); })),
        c.Told);
    EXPECT_EQ(device.Bootloader.Flash() == ImageA, c.Exit == 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FlashRetries,
    ::testing::Values(
        TRetryCase{"PassesTheSecondTime", "block:17:code13", false, {"--retries", "2"}, 0, 2, 1},
        TRetryCase{"NeverPasses", "block:17:code13:repeat", false, {"--retries", "2"}, 12, 3, 2},
        TRetryCase{"NotAskedFor", "block:17:code13", false, {}, 12, 1, 0},
        TRetryCase{"ChecksumsThatDifferEveryTime", "", false, {"--retries", "1"}, 5, 2, 1},
        TRetryCase{"ARefusedImage", "", false, {"--retries", "3"}, 4, 1, 0},
        TRetryCase{"AStop", "", true, {"--retries", "3"}, 7, 1, 0},
        TRetryCase{"ADeviceThatIsGone", "block:40:unplug", false, {"--retries", "1"}, 12, 1, 1},
        TRetryCase{"ADeviceThatComesBackWithinTheWait", "block:40:unplug", false,
                   {"--retries", "1", "--wait", "10"}, 0, 2, 1}),
    [](const auto& info) { return std::string(info.param.Name); });
// clang-format on

} // namespace
} // namespace qor::test
