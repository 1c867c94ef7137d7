#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "qortest/UpdateHarness.h"

namespace qor {
namespace {

using test::TShownMessage;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class UpdateTest : public test::TUpdateHarness {};

TEST_F(UpdateTest, AVariantAImageGoesOutInOneHundredTwentyFourBlocks) {
    Connect();
    const TByteVector image = MakeFirmwareImage(63488, "102a");
    Load(image);
    std::vector<int> bar;
    bool runningInPumps = true;
    Host.OnPump = [&](int) {
        bar.push_back(State.View.PBFW);
        runningInPumps = runningInPumps && State.UpdateRunning && !State.View.BFlash &&
                         !State.View.BSwitchOff && !State.View.GBFWFile;
    };

    EXPECT_EQ(Update(), TUpdateResult::Succeeded);

    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(124)));
    const auto addresses = WriteAddresses();
    ASSERT_EQ(addresses.size(), 124U);
    for (std::size_t k = 0; k < addresses.size(); ++k) {
        EXPECT_EQ(addresses[k], k * 512) << k;
    }
    EXPECT_EQ(addresses.back(), 62976U);
    EXPECT_EQ(Device->Bootloader.Flash(), image);
    // The range requests carry the last page.
    EXPECT_EQ(Device->Frames[1].Bytes[4], 123);

    // One pump before the first request, one after the begin and the range requests, one
    // after every block, and one after each of the finishing exchanges but the last.
    ASSERT_EQ(bar.size(), 130U);
    EXPECT_EQ(bar[0], 0);
    EXPECT_EQ(bar[3], 0);    // after block 0
    EXPECT_EQ(bar[65], 500); // after block 62: 62000 / 124
    EXPECT_EQ(bar[126], 991);
    EXPECT_EQ(bar[129], 991);
    EXPECT_TRUE(runningInPumps);
    EXPECT_EQ(State.View.PBFW, 991);

    EXPECT_TRUE(State.UpdateSucceeded);
    EXPECT_FALSE(State.UpdateFailed);
    EXPECT_FALSE(State.UpdateRunning);
    EXPECT_TRUE(State.View.BFlash);
    EXPECT_TRUE(State.View.BSwitchOff);
    EXPECT_TRUE(State.View.GBFWFile);
    EXPECT_THAT(Messages.Shown, IsEmpty());
    EXPECT_TRUE(Monitor.Info().ChecksumValid());
    EXPECT_EQ(Monitor.Info().DeviceFWVersion, "102a");

    Timers();
    EXPECT_EQ(State.View.LFlashStatus,
              (TLabelView{"Update finished successfully!", TColour::Green}));
    EXPECT_TRUE(State.View.ImgSuccess);
    EXPECT_EQ(State.View.LQORChecksum, (TLabelView{"valid", TColour::Green}));
}

TEST_F(UpdateTest, AVariantBImageFillsItsLargerFlash) {
    Connect(TBootloaderConfig::VariantB());
    ASSERT_EQ(State.DeviceVariant, TVariantKind::B);
    const TByteVector image = MakeFirmwareImage(129024, "130b");
    Load(image);

    EXPECT_EQ(Update(), TUpdateResult::Succeeded);

    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(252)));
    const auto addresses = WriteAddresses();
    ASSERT_EQ(addresses.size(), 252U);
    EXPECT_EQ(addresses.front(), 0U);
    EXPECT_EQ(addresses.back(), 128512U);
    EXPECT_EQ(Device->Frames[1].Bytes[4], 125);
    EXPECT_EQ(State.View.PBFW, 996); // 251000 / 252
    EXPECT_EQ(Device->Bootloader.Flash(), image);
    EXPECT_TRUE(State.UpdateSucceeded);
    EXPECT_EQ(Monitor.Info().DeviceFWVersion, "130b");
}

TEST_F(UpdateTest, OnlyWholeBlocksAreWritten) {
    Connect();
    const TByteVector image = MakeFirmwareImage(1000, "102a");
    Load(image);
    EXPECT_EQ(Update(), TUpdateResult::ChecksumsDiffer);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(1)));
    const TByteVector& flash = Device->Bootloader.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 512, flash.begin()));
    EXPECT_EQ(flash[512], 0xFF); // the partial block stayed on the PC
    EXPECT_EQ(State.View.PBFW, 0);
}

TEST_F(UpdateTest, AnImageBelowOneBlockSendsNoBlockButEverythingElse) {
    Connect();
    Load(MakeFirmwareImage(300, "102a"));
    EXPECT_EQ(Update(), TUpdateResult::ChecksumsDiffer);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(0)));
    EXPECT_EQ(Host.Pumps, 6);
    EXPECT_EQ(State.View.PBFW, 0);
    EXPECT_TRUE(State.UpdateFailed);
    EXPECT_THAT(Messages.Shown, IsEmpty());
}

TEST_F(UpdateTest, UnequalChecksumsAfterACompleteWriteFailWithoutAMessage) {
    Connect();
    Load(MakeFirmwareImage(63488 - 512, "102a")); // leaves the last page erased
    Language = LangGerman;
    EXPECT_EQ(Update(), TUpdateResult::ChecksumsDiffer);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(123)));
    EXPECT_THAT(Messages.Shown, IsEmpty());
    EXPECT_TRUE(State.UpdateFailed);
    EXPECT_FALSE(State.UpdateSucceeded);
    EXPECT_FALSE(State.UpdateRunning);
    Timers();
    EXPECT_EQ(State.View.LFlashStatus, (TLabelView{"Update fehlgeschlagen!", TColour::Maroon}));
    EXPECT_FALSE(State.View.ImgSuccess);
}

TEST_F(UpdateTest, WithoutALoadedImageNothingIsSent) {
    Connect();
    State.UpdateFailed = true;
    EXPECT_EQ(Update(), TUpdateResult::Refused);
    EXPECT_THAT(Codes(), IsEmpty());
    EXPECT_EQ(Host.Pumps, 0);
    EXPECT_TRUE(State.UpdateFailed);
    EXPECT_FALSE(State.UpdateRunning);
}

TEST_F(UpdateTest, ASecondClickWhileRunningIsRefused) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    TUpdateResult inner = TUpdateResult::Succeeded;
    Host.OnPump = [&](int pump) {
        if (pump == 5) {
            inner = Update();
        }
    };
    EXPECT_EQ(Update(), TUpdateResult::Succeeded);
    EXPECT_EQ(inner, TUpdateResult::Refused);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(124)));
}

TEST_F(UpdateTest, TheMonitorKeepsItsKeepAliveOffTheWireWhileTheUpdateRuns) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    // Far more timer ticks than the keep-alive needs to come due, in every pause.
    Host.OnPump = [&](int) {
        for (int i = 0; i < 12; ++i) {
            Timers();
        }
    };
    EXPECT_EQ(Update(), TUpdateResult::Succeeded);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(124)));
}

TEST_F(UpdateTest, AConfirmedCloseStopsBeforeTheNextBlockQuietly) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Host.OnPump = [&](int pump) {
        if (pump == 14) { // after block 10
            State.CloseConfirmed = true;
        }
    };
    EXPECT_EQ(Update(), TUpdateResult::Stopped);
    std::vector<std::uint8_t> expected{CmdBeginUpdate, CmdPrepareRange};
    expected.insert(expected.end(), 11, CmdWriteBlock);
    EXPECT_THAT(Codes(), ElementsAreArray(expected));
    EXPECT_THAT(Messages.Shown, IsEmpty());
    EXPECT_FALSE(State.UpdateFailed);
    EXPECT_FALSE(State.UpdateSucceeded);
    EXPECT_FALSE(State.UpdateRunning);
    EXPECT_TRUE(State.View.BFlash);
}

TEST_F(UpdateTest, ACloseConfirmedBeforeTheRangeStopsAfterTheBeginRequest) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Host.OnPump = [&](int pump) {
        if (pump == 1) { // before anything went out
            State.CloseConfirmed = true;
        }
    };
    EXPECT_EQ(Update(), TUpdateResult::Stopped);
    EXPECT_THAT(Codes(), ElementsAreArray({CmdBeginUpdate}));
    EXPECT_THAT(Messages.Shown, IsEmpty());
}

TEST_F(UpdateTest, UnpluggingBetweenBlocksFailsTheNextBlockAtOnceAndKeepsTheBytesValid) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    const TFirmwareImage loaded = *State.FWImage;
    Host.OnPump = [&](int pump) {
        if (pump == 44) { // after block 40
            Device->Unplug();
        }
        Timers(); // the monitor closes the handle and drops the image
    };
    const std::uint64_t before = Bus.Clock().NowUs();
    EXPECT_EQ(Update(), TUpdateResult::Failed);
    EXPECT_THAT(Messages.Shown,
                ElementsAreArray({TShownMessage{"Update fehlgeschlagen: 2:41", "Fehler"}}));
    EXPECT_EQ(WriteAddresses().size(), 41U);
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
    EXPECT_FALSE(State.FWLoaded());
    // No connection: the block failed without waiting for a reply.
    EXPECT_LT(Bus.Clock().NowUs() - before, 1000000U);
    EXPECT_EQ(loaded.Size(), 63488U); // the bytes written stayed valid throughout
}

TEST_F(UpdateTest, ADeviceLostAndFoundAgainMeanwhileGetsNothingMoreWritten) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Host.OnPump = [&](int pump) {
        if (pump == 14) { // after block 10, a modal window holds the update for a while
            Device->Unplug();
            Timers(); // the monitor closes the handle
            Device->Plug();
            for (int tick = 0; tick < 6; ++tick) {
                Timers(); // found again, reopened, queried
            }
            ASSERT_NE(Monitor.Link().Connection(), nullptr);
            Device->Frames.clear();
        }
    };
    EXPECT_EQ(Update(), TUpdateResult::Failed);
    EXPECT_THAT(Messages.Shown,
                ElementsAreArray({TShownMessage{"Update fehlgeschlagen: 2:11", "Fehler"}}));
    EXPECT_EQ(Device->FrameCount(CmdWriteBlock), 0U);
}

TEST_F(UpdateTest, AMissingReplyCostsTheUpdatesEightSecondReadTimeOut) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Device->Faults.Add(TFault::OnBlock(17, TFaultKind::DropReply));
    std::uint64_t lastPumpUs = 0;
    std::uint64_t failedAfterUs = 0;
    Host.OnPump = [&](int) {
        lastPumpUs = Bus.Clock().NowUs();
    };
    Messages.WhileShown = [&] {
        failedAfterUs = Bus.Clock().NowUs() - lastPumpUs;
    };
    EXPECT_EQ(Update(), TUpdateResult::Failed);
    EXPECT_THAT(Messages.Shown,
                ElementsAreArray({TShownMessage{"Update fehlgeschlagen: 2:17", "Fehler"}}));
    EXPECT_GE(failedAfterUs, 8000000U);
    EXPECT_LT(failedAfterUs, 8100000U);
}

TEST_F(UpdateTest, ADeviceThatDropsOffTheBusMidBlockFailsThatBlock) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Device->Faults.Add(TFault::OnBlock(17, TFaultKind::Unplug));
    EXPECT_EQ(Update(), TUpdateResult::Failed);
    EXPECT_THAT(Messages.Shown,
                ElementsAreArray({TShownMessage{"Update fehlgeschlagen: 2:17", "Fehler"}}));
    EXPECT_EQ(WriteAddresses().size(), 18U);
    Timers();
    EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 not connected");
    EXPECT_FALSE(State.FWLoaded());
    EXPECT_EQ(State.View.LFlashStatus, (TLabelView{"Update failed!", TColour::Maroon}));
}

// One failure exit: the request whose reply goes wrong, how it goes wrong, and the message.
struct TExitCase {
    const char* Name;
    TFault Fault;
    const char* Text;
    std::uint8_t LastCode;
};

void PrintTo(const TExitCase& exit, std::ostream* out) {
    *out << exit.Name;
}

class UpdateFailureTest : public test::TUpdateHarness,
                          public ::testing::WithParamInterface<TExitCase> {};

TEST_P(UpdateFailureTest, ShowsItsNumberedMessageAndThenTheFailedResult) {
    const TExitCase& exit = GetParam();
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Device->Faults.Add(exit.Fault);
    Language = LangSpanish;
    bool runningWhileShown = false;
    Messages.WhileShown = [&] {
        runningWhileShown = State.UpdateRunning;
    };

    EXPECT_EQ(Update(), TUpdateResult::Failed);

    EXPECT_THAT(Messages.Shown, ElementsAreArray({TShownMessage{exit.Text, "Fehler"}}));
    EXPECT_TRUE(runningWhileShown);
    ASSERT_FALSE(Device->Frames.empty());
    EXPECT_EQ(Device->Frames.back().Code, exit.LastCode); // nothing sent after the failure
    EXPECT_TRUE(State.UpdateFailed);
    EXPECT_FALSE(State.UpdateSucceeded);
    EXPECT_FALSE(State.UpdateRunning);
    EXPECT_TRUE(State.View.BFlash);
    EXPECT_TRUE(State.View.BSwitchOff);
    EXPECT_TRUE(State.View.GBFWFile);

    Timers();
    EXPECT_EQ(State.View.LFlashStatus,
              (TLabelView{Txt(TxtUpdateFailed, LangSpanish), TColour::Maroon}));
    EXPECT_FALSE(State.View.ImgSuccess);

    // A new update can start at once and clears the failure.
    Messages.Shown.clear();
    EXPECT_EQ(Update(), TUpdateResult::Succeeded);
    EXPECT_FALSE(State.UpdateFailed);
}

INSTANTIATE_TEST_SUITE_P(
    EveryExit, UpdateFailureTest,
    ::testing::Values(
        TExitCase{"Begin", TFault::OnCode(CmdBeginUpdate, TFaultKind::DropReply),
                  "Update fehlgeschlagen: 0", CmdBeginUpdate},
        TExitCase{"Prepare", TFault::OnCode(CmdPrepareRange, TFaultKind::CorruptCrc),
                  "Update fehlgeschlagen: 1", CmdPrepareRange},
        TExitCase{"FirstBlock", TFault::OnBlock(0, TFaultKind::AnswerCode13),
                  "Update fehlgeschlagen: 2:0", CmdWriteBlock},
        TExitCase{"EighteenthBlock", TFault::OnBlock(17, TFaultKind::CorruptCrc),
                  "Update fehlgeschlagen: 2:17", CmdWriteBlock},
        TExitCase{"LastBlock", TFault::OnBlock(123, TFaultKind::DropReply),
                  "Update fehlgeschlagen: 2:123", CmdWriteBlock},
        TExitCase{"Finish", TFault::OnCode(CmdFinishRange, TFaultKind::Truncate),
                  "Update fehlgeschlagen: 3", CmdFinishRange},
        TExitCase{"End", TFault::OnCode(CmdEndUpdate, TFaultKind::AnnounceLength),
                  "Update fehlgeschlagen: 4", CmdEndUpdate},
        TExitCase{"Checksums", TFault::OnCode(CmdGetChecksums, TFaultKind::DropReply),
                  "Update fehlgeschlagen: 5", CmdGetChecksums},
        TExitCase{"Version", TFault::OnCode(CmdGetFirmwareVersion, TFaultKind::AnswerCode13),
                  "Update fehlgeschlagen: 6", CmdGetFirmwareVersion},
        // The checksum query acknowledged, the version answered: no checksums came back.
        TExitCase{"NoChecksumsReported",
                  TFault::OnCode(CmdGetChecksums, TFaultKind::AnswerOtherCode, CmdWriteBlock),
                  "Update fehlgeschlagen: 5", CmdGetFirmwareVersion},
        // The version's four bytes as a checksum reply: too short for its code's data.
        TExitCase{
            "ShortChecksumsAtVersion",
            TFault::OnCode(CmdGetFirmwareVersion, TFaultKind::AnswerOtherCode, CmdGetChecksums),
            "Update fehlgeschlagen: 6", CmdGetFirmwareVersion}),
    [](const ::testing::TestParamInfo<TExitCase>& info) { return std::string(info.param.Name); });

TEST_F(UpdateTest, ASlowReplyIsWaitedForWhileEventsAreServed) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Device->Faults.Add(TFault::OnBlock(3, TFaultKind::Delay, 30));
    EXPECT_EQ(Update(), TUpdateResult::Succeeded);
    // 30 ms of waiting in slices of 5 ms.
    EXPECT_GE(Host.WaitPumps, 5);
    EXPECT_LE(Host.WaitPumps, 6);
}

TEST_F(UpdateTest, ADeviceLostWhileAnExchangeWaitsFailsThatExchangeOnly) {
    Connect();
    Load(MakeFirmwareImage(63488, "102a"));
    Device->Faults.Add(TFault::OnBlock(7, TFaultKind::Delay, 30));
    Host.OnWaitPump = [&] {
        Device->Unplug();
        Timers(); // the monitor closes the connection the exchange is waiting on
    };
    EXPECT_EQ(Update(), TUpdateResult::Failed);
    EXPECT_THAT(Messages.Shown,
                ElementsAreArray({TShownMessage{"Update fehlgeschlagen: 2:7", "Fehler"}}));
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
}

// What once let a wrong image or a wrong answer through.
class UpdateGateTest : public test::TUpdateHarness {};

TEST_F(UpdateGateTest, AnImageLargerThanTheFlashIsRefusedBeforeAnythingIsSent) {
    for (const std::size_t size :
         {std::size_t{63488 + 512}, std::size_t{129024}, std::size_t{16} * 1024 * 1024 - 1}) {
        Messages.Shown.clear();
        if (Device == nullptr) {
            Connect();
        }
        Load(MakeFirmwareImage(size, "102a"));
        EXPECT_EQ(Update(), TUpdateResult::Refused) << size;
        EXPECT_THAT(Codes(), IsEmpty()) << size;
        EXPECT_THAT(Messages.Shown,
                    ElementsAreArray({TShownMessage{"Invalid firmware!", "Error"}}));
        EXPECT_FALSE(State.FWLoaded());
        EXPECT_FALSE(State.UpdateRunning);
        EXPECT_TRUE(State.View.BFlash);
    }
}

// The device leaves and another takes its place, while the window holds an image it took for
// the first one (as a download dialog that was open does): of another layout, or one that
// does not report its page size. The first one's geometry decides nothing for it.
TEST_F(UpdateGateTest, ADeviceSwappedSinceTheImageWasLoadedGetsNothing) {
    TFault acknowledgedPageSize = TFault::OnCode(CmdGetPageSize, TFaultKind::AnswerOtherCode, 7);
    acknowledgedPageSize.Repeat = true;
    const struct {
        TBootloaderConfig Config;
        std::optional<TFault> Fault;
        const char* Refusal;
    } others[] = {
        {{PageSizeCode256, 124}, std::nullopt, "the image is not made for this device variant"},
        {TBootloaderConfig::VariantA(), acknowledgedPageSize,
         "the device did not report its page size"},
    };
    for (const auto& swapped : others) {
        SCOPED_TRACE(swapped.Refusal);
        Messages.Shown.clear();
        Connect();
        Load(MakeFirmwareImage(63488, "102a"));
        const TFirmwareImage held = *State.FWImage;
        Device->Unplug();
        Timers();
        TVirtualDevice& other = Bus.AddDevice(DeviceDescription, swapped.Config);
        if (swapped.Fault) {
            other.Faults.Add(*swapped.Fault);
        }
        for (int tick = 0; tick < 6; ++tick) {
            Timers();
        }
        State.FWImage = held;
        ASSERT_TRUE(Monitor.BootloaderReady());
        other.Frames.clear();
        EXPECT_EQ(Update(), TUpdateResult::Refused);
        EXPECT_EQ(Outcome.Refusal, swapped.Refusal);
        EXPECT_TRUE(other.Frames.empty());
        EXPECT_THAT(Messages.Shown,
                    ElementsAreArray({TShownMessage{"Invalid firmware!", "Error"}}));
        EXPECT_FALSE(State.FWLoaded());
        other.Unplug();
        Timers();
    }
}

class PowerOffTest : public test::TUpdateHarness {};

TEST_F(PowerOffTest, SendsOnePowerOffAndThePanelChangesOnlyWhenTheDeviceIsGone) {
    Connect();
    (void)Monitor.Bootloader().PowerOff();
    EXPECT_THAT(Codes(), ElementsAreArray({CmdPowerOff}));
    EXPECT_EQ(Device->Frames[0].Bytes, (TByteVector{0x00, 0x07, 0x0B, 0x59, 0xA0, 0x94, 0xB2}));
    EXPECT_TRUE(Monitor.BootloaderReady()); // nothing else changed by the click
    Timers();
    EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 not connected");
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
}

TEST_F(PowerOffTest, WithoutAnOpenDeviceNothingIsSent) {
    Connect();
    Device->Unplug();
    Timers();
    (void)Monitor.Bootloader().PowerOff();
    EXPECT_THAT(Codes(), IsEmpty());
}

// The bootloader chooses its acknowledgement's code, the code of its version reply, whether
// it swaps the queries' replies or answers with data where an acknowledgement is due, and it
// may hold no application: the whole road works whichever, and the panel shows afterwards
// what the update read back.
struct TAckCase {
    std::uint8_t AckCode;
    std::uint8_t VersionReplyCode;
    bool NoApplication = false;
    bool SwapQueryReplies = false;
    bool DataAcknowledgements = false;
};

class AcknowledgementTest : public test::TUpdateHarness,
                            public ::testing::WithParamInterface<TAckCase> {};

TEST_P(AcknowledgementTest, QueryUpdateAndPowerOffTakeTheDevicesChoice) {
    TBootloaderConfig config = TBootloaderConfig::VariantA();
    config.AckCode = GetParam().AckCode;
    config.VersionReplyCode = GetParam().VersionReplyCode;
    config.NoApplication = GetParam().NoApplication;
    config.SwapQueryReplies = GetParam().SwapQueryReplies;
    config.DataAcknowledgements = GetParam().DataAcknowledgements;
    Connect(config);
    Timers();
    EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 connected");
    EXPECT_EQ(State.View.LQORChecksum.Text, GetParam().NoApplication ? "invalid" : "valid");
    EXPECT_EQ(State.View.LQORFWVersion.Text, GetParam().NoApplication ? "-- / --" : "1.0a");
    const TByteVector image = MakeFirmwareImage(63488, "102a");
    Load(image);

    EXPECT_EQ(Update(), TUpdateResult::Succeeded);
    EXPECT_THAT(Codes(), ElementsAreArray(FullUpdate(124)));
    EXPECT_EQ(Device->Bootloader.Flash(), image);
    EXPECT_THAT(Messages.Shown, IsEmpty());
    Timers();
    EXPECT_EQ(State.View.LQORFWVersion.Text, "102a");
    EXPECT_EQ(State.View.LQORChecksum.Text, "valid");

    Device->Frames.clear();
    EXPECT_TRUE(Monitor.Bootloader().PowerOff().Ok());
    EXPECT_THAT(Codes(), ElementsAreArray({CmdPowerOff}));
    Timers();
    EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 not connected");
}

INSTANTIATE_TEST_SUITE_P(EveryChoice, AcknowledgementTest,
                         ::testing::Values(TAckCase{5, 0}, TAckCase{7, 12}, TAckCase{12, 5},
                                           TAckCase{AckWithRequestCode, 3}, TAckCase{7, 0, true},
                                           TAckCase{7, 0, false, true},
                                           TAckCase{7, 0, false, false, true}),
                         [](const auto& info) {
                             const TAckCase& c = info.param;
                             return "Ack" + std::to_string(c.AckCode) + "Version" +
                                    std::to_string(c.VersionReplyCode) +
                                    (c.NoApplication          ? "NoApplication"
                                     : c.SwapQueryReplies     ? "Swapped"
                                     : c.DataAcknowledgements ? "DataReplies"
                                                              : "");
                         });

} // namespace
} // namespace qor
