#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "device/ConnectionMonitor.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"
#include "device/UpdateSession.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The host's protocol core against one virtual device.
class VirtualDevice : public ::testing::Test {
protected:
    TVirtualBus Bus;
    TConnectionMonitor Monitor{Bus};
    TDeviceLink& Link = Monitor.Link();
    TBootloaderClient& Client = Monitor.Bootloader();
    const TDeviceInfo& Values = Monitor.Info();

    TVirtualDevice& AddAndOpen(const TBootloaderConfig& config = {}) {
        TVirtualDevice& device = Bus.AddDevice("QOR 7316", config);
        (void)Link.Upkeep();
        Link.SetTimeouts(100, 500);
        return device;
    }

    std::uint64_t Now() { return Bus.Clock().NowUs(); }

    // A request of any code, sent raw; whether a good reply of some code came back.
    bool Raw(std::uint8_t code) {
        IPortConnection& port = *Link.Connection();
        port.Purge();
        const std::vector<std::uint8_t> frame = EncodeFrame(code);
        port.Write(frame, TMilliseconds(500));
        std::uint8_t reply[ReplyBufferSize];
        const TPortIo head = port.Read(std::span(reply, 2), TMilliseconds(100));
        std::size_t got = head.Count;
        if (got == 2 && reply[1] >= MinFrameLength) {
            got += port.Read(std::span(reply + 2, reply[1] - 2u), TMilliseconds(100)).Count;
        }
        return DecodeReply(std::span(reply, got)).Ok();
    }

    void WriteBytes(std::span<const std::uint8_t> bytes) {
        Link.Connection()->Write(bytes, TMilliseconds(500));
    }

    // Writes an image the way the update does; false at the first refused request.
    bool WriteImage(const TByteVector& image) {
        if (!Client.BeginUpdate() || !Client.PrepareRange(*Values.PageCount)) {
            return false;
        }
        const std::span<const std::uint8_t> bytes(image);
        for (std::size_t k = 0; k < image.size() / BlockSize; ++k) {
            if (!Client.WriteBlock(static_cast<std::uint32_t>(k * BlockSize),
                                   bytes.subspan(k * BlockSize, BlockSize))) {
                return false;
            }
        }
        // The client stores what the last two replies report.
        return Client.FinishRange(*Values.PageCount) && Client.EndUpdate() &&
               Client.QueryChecksums() && Client.QueryFirmwareVersion();
    }
};

} // namespace

TEST_F(VirtualDevice, VariantAAnswersTheFullQuery) {
    AddAndOpen(TBootloaderConfig::VariantA());
    ASSERT_NE(Link.Connection(), nullptr);
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_EQ(Values.BootVersion, (TBootVersion{1, 3}));
    EXPECT_EQ(Values.PageSize, 512u);
    EXPECT_EQ(Values.PageCount, 124u);
    EXPECT_TRUE(Values.ChecksumValid());
    EXPECT_EQ(Values.DeviceFWVersion, "1.0a");
}

TEST_F(VirtualDevice, OtherVariantsAndVersions) {
    TVirtualDevice& device = AddAndOpen(TBootloaderConfig::VariantB());
    device.Bootloader.SetVersion(2, 11);
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_EQ(Values.PageSize, 1024u);
    EXPECT_EQ(Values.PageCount, 126u);
    EXPECT_EQ(Values.BootVersion, (TBootVersion{2, 11}));
    EXPECT_EQ(Values.DeviceFWVersion, "1.0b");
    EXPECT_EQ(device.Bootloader.Flash().size(), 126u * 1024);

    TVirtualBus other;
    other.AddDevice("QOR 7316", {1, 77});
    TConnectionMonitor monitor(other);
    (void)monitor.Link().Upkeep();
    EXPECT_TRUE(monitor.QueryBootloader());
    EXPECT_EQ(monitor.Info().PageSize, 256u);
    EXPECT_EQ(monitor.Info().PageCount, 77u);
}

TEST_F(VirtualDevice, AnImageOfTheFlashSizeMakesTheChecksumsEqual) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Monitor.QueryBootloader());
    const TByteVector image = MakeFirmwareImage(124 * 512, "2.4a", 99);
    ASSERT_TRUE(WriteImage(image));
    EXPECT_EQ(device.Bootloader.Flash(), image);
    EXPECT_TRUE(Values.ChecksumValid());
    EXPECT_EQ(Values.DeviceFWVersion, "2.4a");
    EXPECT_EQ(device.FrameCount(CmdWriteBlock), 124u);
}

TEST_F(VirtualDevice, AShorterImageLeavesTheChecksumsUnequal) {
    AddAndOpen();
    ASSERT_TRUE(Monitor.QueryBootloader());
    ASSERT_TRUE(WriteImage(MakeFirmwareImage(100 * 512 + 300, "2.4a")));
    EXPECT_FALSE(Values.ChecksumValid());
    EXPECT_EQ(Values.DeviceChecksums->Second, 0xFFFFFFFFu); // erased
}

TEST_F(VirtualDevice, WritesOutsideAPreparedRangeAreRefused) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Monitor.QueryBootloader());
    const TByteVector before = device.Bootloader.Flash();
    const TByteVector block(BlockSize, 0x42);
    EXPECT_FALSE(Client.WriteBlock(0, block)) << "no range prepared";
    EXPECT_EQ(device.Bootloader.Flash(), before);

    ASSERT_TRUE(Client.BeginUpdate());
    ASSERT_TRUE(Client.PrepareRange(124));
    EXPECT_FALSE(Client.WriteBlock(124 * 512, block)) << "beyond the flash";
    EXPECT_FALSE(Client.FinishRange(100)) << "another range";
    EXPECT_FALSE(Raw(7));
    EXPECT_FALSE(Raw(12));
}

TEST_F(VirtualDevice, EveryFrameIsLoggedByteForByte) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Client.QueryPageSize());
    ASSERT_EQ(device.Frames.size(), 1u);
    EXPECT_EQ(device.Frames[0].Bytes, (TByteVector{0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBD}));
    EXPECT_TRUE(device.Frames[0].Valid);
    EXPECT_TRUE(device.Frames[0].Answered);

    // A bad CRC is logged and not answered; the device takes the next frame as it comes.
    const std::uint8_t bad[] = {0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBE};
    WriteBytes(bad);
    ASSERT_EQ(device.Frames.size(), 2u);
    EXPECT_FALSE(device.Frames[1].Valid);
    EXPECT_FALSE(device.Frames[1].Answered);
    EXPECT_TRUE(Client.QueryPageSize());
}

TEST_F(VirtualDevice, ImpossibleLengthsAndPausesResynchronise) {
    TVirtualDevice& device = AddAndOpen();
    const std::uint8_t junk[] = {0xFF, 0xFF, 0x00, 0x03};
    WriteBytes(junk);
    EXPECT_EQ(device.Frames.size(), 2u);

    const std::uint8_t half[] = {0x00, 0x07, 0x00};
    WriteBytes(half);
    static_cast<TVirtualClock&>(Bus.Clock()).AdvanceUs(50000);
    EXPECT_TRUE(Client.QueryVersion());
    EXPECT_FALSE(device.Frames.at(2).Valid);
}

TEST_F(VirtualDevice, ADroppedReplyCostsTheReadTimeOutInVirtualTimeOnly) {
    TVirtualDevice& device = AddAndOpen();
    device.Faults.Add(TFault::OnRequest(0, TFaultKind::DropReply));
    const std::uint64_t start = Now();
    EXPECT_FALSE(Monitor.QueryBootloader());
    EXPECT_EQ(Now() - start, 100000u);
    EXPECT_TRUE(Monitor.QueryBootloader());
}

TEST_F(VirtualDevice, AnotherRequestsCodeIsASoundFrameDecodedByItsCode) {
    TVirtualDevice& device = AddAndOpen();
    device.Faults.Add(TFault::OnCode(CmdGetChecksums, TFaultKind::AnswerOtherCode, CmdWriteBlock));
    device.Faults.Add(
        TFault::OnCode(CmdGetPageCount, TFaultKind::AnswerOtherCode, CmdGetPageCount));
    const auto checksums = Client.QueryChecksums();
    ASSERT_TRUE(checksums.Ok());
    EXPECT_EQ(std::get<TAcknowledgement>(*checksums).Code, CmdWriteBlock);
    EXPECT_EQ(Values.DeviceChecksums, std::nullopt);
    // Asked for its own code, the fault takes the next one: the count's byte as a page-size
    // code, which names no size.
    const auto count = Client.QueryPageCount();
    ASSERT_TRUE(count.Ok());
    EXPECT_EQ(std::get<TPageSize>(*count).Bytes, std::nullopt);
    EXPECT_EQ(Values.PageCount, std::nullopt);
}

// The freedoms the device uses on purpose: a flash with no application acknowledges the
// firmware-version request; the queries answered with each other's replies; data replies
// where an acknowledgement is due.
TEST_F(VirtualDevice, UsesTheRepliesTheProtocolLeavesOpen) {
    TBootloaderConfig config = TBootloaderConfig::VariantA();
    config.NoApplication = true;
    TVirtualDevice& device = AddAndOpen(config);
    ASSERT_TRUE(Monitor.QueryBootloader());
    const auto none = Client.QueryFirmwareVersion();
    ASSERT_TRUE(none.Ok());
    EXPECT_EQ(std::get<TAcknowledgement>(*none).Code, DefaultAckCode);
    ASSERT_TRUE(Client.QueryChecksums().Ok());
    EXPECT_NE(Values.DeviceChecksums->First, Values.DeviceChecksums->Second);
    ASSERT_TRUE(WriteImage(MakeFirmwareImage(124 * 512, "2.4a")));
    EXPECT_EQ(Values.DeviceFWVersion, "2.4a") << "an application again";

    device.Bootloader.SetSwapQueryReplies(true);
    device.Bootloader.SetDataAcknowledgements(true);
    // The alternative of the reply's value is its code.
    const auto code = [](const TReply& reply) {
        return reply ? reply->index() : 99;
    };
    EXPECT_EQ(code(Client.QueryPageSize()), 1u) << "the page count's reply";
    EXPECT_EQ(code(Client.QueryPageCount()), 2u) << "the page size's";
    EXPECT_EQ(code(Client.QueryChecksums()), 4u) << "the firmware version's";
    EXPECT_EQ(code(Client.QueryFirmwareVersion()), 3u) << "the checksums'";
    EXPECT_EQ(code(Client.BeginUpdate()), 0u) << "the version's";
    EXPECT_EQ(code(Client.EndUpdate()), 4u) << "the firmware version's";
}

TEST_F(VirtualDevice, WireTimingCountsTenBitsPerByteAndTheTurnaround) {
    Bus.SetWireTiming(true, 150);
    AddAndOpen();
    std::uint64_t start = Now();
    ASSERT_TRUE(Client.QueryVersion());
    EXPECT_EQ(Now() - start, (7 + 9) * 20 + 150u);

    ASSERT_TRUE(Client.BeginUpdate());
    ASSERT_TRUE(Client.PrepareRange(124));
    const TByteVector block(BlockSize, 1);
    start = Now();
    ASSERT_TRUE(Client.WriteBlock(0, block));
    EXPECT_EQ(Now() - start, (523 + 7) * 20 + 150u);
}

TEST_F(VirtualDevice, AnApplicationListsButAnswersNothing) {
    TVirtualDevice& device = AddAndOpen();
    device.SwitchOn(TDeviceMode::Application);
    EXPECT_FALSE(Monitor.QueryBootloader());
    EXPECT_TRUE(Link.FindDevice());
    ASSERT_EQ(device.Frames.size(), 1u);
    EXPECT_TRUE(device.Frames[0].Valid);
    EXPECT_FALSE(device.Frames[0].Answered);
}

TEST_F(VirtualDevice, PowerOffAnswersThenLeavesTheBus) {
    TVirtualDevice& device = AddAndOpen();
    EXPECT_TRUE(Client.PowerOff());
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(device.Mode(), TDeviceMode::Off);
    EXPECT_FALSE(Client.QueryVersion());
    (void)Link.Upkeep();
    EXPECT_EQ(Link.Connection(), nullptr);
    EXPECT_EQ(Bus.OpenConnectionCount(), 0u);
    device.SwitchOn(TDeviceMode::Bootloader);
    (void)Link.Upkeep();
    EXPECT_NE(Link.Connection(), nullptr);
    EXPECT_TRUE(Client.QueryVersion());
}

TEST_F(VirtualDevice, OpeningIsExclusiveAndRefusalsAreExplained) {
    TVirtualDevice& device = AddAndOpen();
    const auto second = Bus.Open(0, DeviceBaudRate);
    ASSERT_FALSE(second.Ok());
    EXPECT_FALSE(second.Error().Reason.empty());

    TVirtualBus bus;
    bus.AddDevice("QOR 7316").OpenRefusal = "Held by another program";
    TDeviceLink link(bus);
    const auto kept = link.Upkeep();
    EXPECT_EQ(link.Connection(), nullptr);
    EXPECT_EQ(kept.Error().Reason, "Held by another program");
    EXPECT_EQ(device.Frames.size(), 0u);
}

TEST_F(VirtualDevice, AtTheWrongBaudRateTheDeviceHearsNothing) {
    TVirtualDevice& device = Bus.AddDevice("QOR 7316");
    Bus.List();
    auto connection = Bus.Open(0, 9600);
    ASSERT_TRUE(connection.Ok());
    const std::vector<std::uint8_t> frame = EncodeFrame(CmdGetBootVersion);
    EXPECT_TRUE((*connection)->Write(frame, TMilliseconds(500)).Ok());
    std::uint8_t reply[2];
    EXPECT_EQ((*connection)->Read(reply, TMilliseconds(100)).Count, 0u);
    EXPECT_TRUE(device.Frames.empty());
}

TEST_F(VirtualDevice, TheListShowsOnlyPluggedDevicesThatAreOn) {
    Bus.AddDevice("FT232R USB UART").SwitchOn(TDeviceMode::Application);
    TVirtualDevice& ours = Bus.AddDevice("QOR 7316");
    EXPECT_EQ(Bus.List().size(), 2u);
    ours.Unplug();
    EXPECT_EQ(Bus.List().size(), 1u);
    ours.Plug();
    ours.SwitchOff();
    EXPECT_EQ(Bus.List().size(), 1u);
    ours.SwitchOn(TDeviceMode::Bootloader);
    const std::vector<TPortEntry> ports = Bus.List();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].Description, "FT232R USB UART");
    EXPECT_EQ(ports[1].Description, "QOR 7316");
}

TEST_F(VirtualDevice, TheBridgesLatencyTimerHoldsRepliesUntilItsNextTick) {
    Bus.SetWireTiming(true, 100);
    Bus.SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs, false);
    AddAndOpen();
    EXPECT_EQ(Bus.LatencyTimer(*Link.Connection()), 16u);
    // A version exchange takes 0.42 ms on the wire and is handed over at the 16 ms tick; the
    // next one starts there and waits for the next tick again.
    ASSERT_TRUE(Client.QueryVersion());
    EXPECT_EQ(Now(), 16000u);
    ASSERT_TRUE(Client.QueryVersion());
    EXPECT_EQ(Now(), 32000u);

    ASSERT_TRUE(Bus.SetLatencyTimer(*Link.Connection(), 1));
    ASSERT_TRUE(Client.QueryVersion());
    EXPECT_EQ(Now(), 33000u);
}

TEST_F(VirtualDevice, APortThatSetsTheLowestLatencyWaitsAMillisecondAtMost) {
    Bus.SetWireTiming(true, 100);
    Bus.SetBridgeLatency(true);
    AddAndOpen();
    EXPECT_EQ(Bus.LatencyTimer(*Link.Connection()), 1u);
    ASSERT_TRUE(Client.BeginUpdate());
    ASSERT_TRUE(Client.PrepareRange(124));
    const TByteVector block(BlockSize, 1);
    const std::uint64_t start = Now();
    ASSERT_TRUE(Client.WriteBlock(0, block));
    // 10.6 ms of wire and turnaround, handed over at the next whole millisecond.
    EXPECT_GE(Now() - start, (523 + 7) * 20 + 100u);
    EXPECT_LT(Now() - start, (523 + 7) * 20 + 100u + 1000u);
}

TEST(VirtualBusThreads, SeveralThreadsWriteTheirOwnDevicesAtOnce) {
    // A bench of devices written in parallel, each through its own link and session, with
    // wire timing so the threads' waits interleave.
    constexpr std::size_t Devices = 4;
    TVirtualBus bus;
    bus.SetWireTiming(true, 200);
    for (std::size_t i = 0; i < Devices; ++i) {
        bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA());
    }
    struct TQuiet : IUpdateObserver {
        void Pump() override {}
        bool StopRequested() override { return false; }
        void Progress(int) override {}
    };
    std::vector<TByteVector> images;
    std::vector<TUpdateResult> results(Devices, TUpdateResult::Refused);
    for (std::size_t i = 0; i < Devices; ++i) {
        images.push_back(MakeFirmwareImage(63488, "2." + std::to_string(i) + "a"));
    }
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < Devices; ++i) {
        workers.emplace_back([&, i] {
            TConnectionMonitor monitor(bus);
            monitor.Link().ChoosePort("VQ" + std::to_string(i));
            (void)monitor.Link().Upkeep();
            if (!monitor.QueryBootloader()) {
                return;
            }
            TQuiet quiet;
            TUpdateSession session(monitor.Link(), monitor.Bootloader(), monitor.Info());
            results[i] = session.Run(images[i], quiet).Result;
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (std::size_t i = 0; i < Devices; ++i) {
        EXPECT_EQ(results[i], TUpdateResult::Succeeded) << i;
        EXPECT_EQ(bus.Device(i).Bootloader.Flash(), images[i]) << i;
    }
    EXPECT_EQ(bus.OpenConnectionCount(), 0u);
}

// The demo's bus runs on the steady clock: the replies are read whole once their wire time
// has passed, however early or late the system's sleeps return.
TEST(VirtualBusInRealTime, TheFullQuerySucceedsAfterItsWireTime) {
    TVirtualBus bus(std::make_unique<TSteadyClock>());
    bus.SetWireTiming(true, 500);
    bus.AddDevice("QOR 7316");
    TConnectionMonitor monitor(bus);
    (void)monitor.Link().Upkeep();
    monitor.Link().SetTimeouts(100, 500);
    const std::uint64_t start = bus.Clock().NowUs();

    EXPECT_TRUE(monitor.QueryBootloader());
    // The version request's 7 bytes, the 9 of its reply and the device's pause, at least.
    EXPECT_GE(bus.Clock().NowUs() - start, (7 + 9) * 20 + 500u);
}
