#include <gtest/gtest.h>

#include "device/Bootloader.h"
#include "device/Protocol.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The host's protocol core against one virtual device.
class VirtualDevice : public ::testing::Test {
protected:
    TVirtualBus Bus;
    TDeviceLink Link{Bus};
    TBootloader Boot{Link};
    TRequestBuffer Request{};

    TVirtualDevice& AddAndOpen(const TBootloaderConfig& config = {}) {
        TVirtualDevice& device = Bus.AddDevice("QOR 7316", config);
        Link.Upkeep();
        return device;
    }

    std::uint64_t Now() { return Bus.Clock().NowUs(); }

    // Writes an image the way the update does; false at the first refused request.
    bool WriteImage(const TByteVector& image) {
        if (!Boot.SendSimpleRequest(CmdBeginUpdate)) {
            return false;
        }
        BuildRangeRequest(Request, CmdPrepareRange, Boot.Values.PageCount);
        if (!Boot.TransferFrame(Request)) {
            return false;
        }
        BuildWriteBlockHeader(Request);
        for (std::size_t k = 0; k < image.size() / BlockSize; ++k) {
            SetWriteBlock(Request, static_cast<std::uint32_t>(k * BlockSize),
                          image.data() + k * BlockSize);
            if (!Boot.TransferFrame(Request)) {
                return false;
            }
        }
        BuildRangeRequest(Request, CmdFinishRange, Boot.Values.PageCount);
        return Boot.TransferFrame(Request) && Boot.SendSimpleRequest(CmdEndUpdate) &&
               Boot.SendSimpleRequest(CmdGetChecksums) &&
               Boot.SendSimpleRequest(CmdGetFirmwareVersion);
    }
};

} // namespace

TEST_F(VirtualDevice, VariantAAnswersTheFullQuery) {
    AddAndOpen(TBootloaderConfig::VariantA());
    ASSERT_NE(Link.FtHandle, 0u);
    EXPECT_TRUE(Boot.QueryBootloader());
    EXPECT_EQ(Boot.Values.BootVersionMajor, 1u);
    EXPECT_EQ(Boot.Values.BootVersionMinor, 3u);
    EXPECT_EQ(Boot.Values.PageSize, 512u);
    EXPECT_EQ(Boot.Values.PageCount, 124u);
    EXPECT_EQ(Boot.Values.DeviceChecksum1, Boot.Values.DeviceChecksum2);
    EXPECT_EQ(Boot.Values.DeviceFWVersion, "1.0a");
}

TEST_F(VirtualDevice, OtherVariantsAndVersions) {
    TVirtualDevice& device = AddAndOpen(TBootloaderConfig::VariantB());
    device.Bootloader.SetVersion(2, 11);
    EXPECT_TRUE(Boot.QueryBootloader());
    EXPECT_EQ(Boot.Values.PageSize, 1024u);
    EXPECT_EQ(Boot.Values.PageCount, 126u);
    EXPECT_EQ(Boot.Values.BootVersionMinor, 11u);
    EXPECT_EQ(Boot.Values.DeviceFWVersion, "1.0b");
    EXPECT_EQ(device.Bootloader.Flash().size(), 126u * 1024);

    TVirtualBus other;
    other.AddDevice("QOR 7316", {1, 77});
    TDeviceLink link(other);
    TBootloader boot(link);
    link.Upkeep();
    EXPECT_TRUE(boot.QueryBootloader());
    EXPECT_EQ(boot.Values.PageSize, 256u);
    EXPECT_EQ(boot.Values.PageCount, 77u);
}

TEST_F(VirtualDevice, AnImageOfTheFlashSizeMakesTheChecksumsEqual) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Boot.QueryBootloader());
    const TByteVector image = MakeFirmwareImage(124 * 512, "2.4a", 99);
    ASSERT_TRUE(WriteImage(image));
    EXPECT_EQ(device.Bootloader.Flash(), image);
    EXPECT_EQ(Boot.Values.DeviceChecksum1, Boot.Values.DeviceChecksum2);
    EXPECT_EQ(Boot.Values.DeviceFWVersion, "2.4a");
    EXPECT_EQ(device.FrameCount(CmdWriteBlock), 124u);
}

TEST_F(VirtualDevice, AShorterImageLeavesTheChecksumsUnequal) {
    AddAndOpen();
    ASSERT_TRUE(Boot.QueryBootloader());
    ASSERT_TRUE(WriteImage(MakeFirmwareImage(100 * 512 + 300, "2.4a")));
    EXPECT_NE(Boot.Values.DeviceChecksum1, Boot.Values.DeviceChecksum2);
    EXPECT_EQ(Boot.Values.DeviceChecksum2, 0xFFFFFFFFu); // erased
}

TEST_F(VirtualDevice, WritesOutsideAPreparedRangeAreRefused) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Boot.QueryBootloader());
    const TByteVector before = device.Bootloader.Flash();
    TByteVector block(BlockSize, 0x42);
    BuildWriteBlockHeader(Request);
    SetWriteBlock(Request, 0, block.data());
    EXPECT_FALSE(Boot.TransferFrame(Request)) << "no range prepared";
    EXPECT_EQ(device.Bootloader.Flash(), before);

    ASSERT_TRUE(Boot.SendSimpleRequest(CmdBeginUpdate));
    BuildRangeRequest(Request, CmdPrepareRange, 124);
    ASSERT_TRUE(Boot.TransferFrame(Request));
    BuildWriteBlockHeader(Request);
    SetWriteBlock(Request, 124 * 512, block.data());
    EXPECT_FALSE(Boot.TransferFrame(Request)) << "beyond the flash";
    BuildRangeRequest(Request, CmdFinishRange, 100);
    EXPECT_FALSE(Boot.TransferFrame(Request)) << "another range";
    EXPECT_FALSE(Boot.SendSimpleRequest(7));
    EXPECT_FALSE(Boot.SendSimpleRequest(12));
}

TEST_F(VirtualDevice, EveryFrameIsLoggedByteForByte) {
    TVirtualDevice& device = AddAndOpen();
    ASSERT_TRUE(Boot.SendSimpleRequest(CmdGetPageSize));
    ASSERT_EQ(device.Frames.size(), 1u);
    EXPECT_EQ(device.Frames[0].Bytes, (TByteVector{0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBD}));
    EXPECT_TRUE(device.Frames[0].Valid);
    EXPECT_TRUE(device.Frames[0].Answered);

    // A bad CRC is logged and not answered; the device takes the next frame as it comes.
    const std::uint8_t bad[] = {0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBE};
    std::uint32_t n = 0;
    Bus.Write(Link.FtHandle, bad, sizeof bad, &n);
    ASSERT_EQ(device.Frames.size(), 2u);
    EXPECT_FALSE(device.Frames[1].Valid);
    EXPECT_FALSE(device.Frames[1].Answered);
    EXPECT_TRUE(Boot.SendSimpleRequest(CmdGetPageSize));
}

TEST_F(VirtualDevice, ImpossibleLengthsAndPausesResynchronise) {
    TVirtualDevice& device = AddAndOpen();
    const std::uint8_t junk[] = {0xFF, 0xFF, 0x00, 0x03};
    std::uint32_t n = 0;
    Bus.Write(Link.FtHandle, junk, sizeof junk, &n);
    EXPECT_EQ(device.Frames.size(), 2u);

    const std::uint8_t half[] = {0x00, 0x07, 0x00};
    Bus.Write(Link.FtHandle, half, sizeof half, &n);
    static_cast<TVirtualClock&>(Bus.Clock()).AdvanceUs(50000);
    EXPECT_TRUE(Boot.SendSimpleRequest(CmdGetBootVersion));
    EXPECT_FALSE(device.Frames.at(2).Valid);
}

TEST_F(VirtualDevice, ADroppedReplyCostsTheReadTimeOutInVirtualTimeOnly) {
    TVirtualDevice& device = AddAndOpen();
    device.Faults.Add(TFault::OnRequest(0, TFaultKind::DropReply));
    const std::uint64_t start = Now();
    EXPECT_FALSE(Boot.QueryBootloader());
    EXPECT_EQ(Now() - start, 100000u);
    EXPECT_TRUE(Boot.QueryBootloader());
}

TEST_F(VirtualDevice, WireTimingCountsTenBitsPerByteAndTheTurnaround) {
    Bus.SetWireTiming(true, 150);
    AddAndOpen();
    std::uint64_t start = Now();
    ASSERT_TRUE(Boot.SendSimpleRequest(CmdGetBootVersion));
    EXPECT_EQ(Now() - start, (7 + 9) * 20 + 150u);

    ASSERT_TRUE(Boot.SendSimpleRequest(CmdBeginUpdate));
    BuildRangeRequest(Request, CmdPrepareRange, 124);
    ASSERT_TRUE(Boot.TransferFrame(Request));
    TByteVector block(BlockSize, 1);
    BuildWriteBlockHeader(Request);
    SetWriteBlock(Request, 0, block.data());
    start = Now();
    ASSERT_TRUE(Boot.TransferFrame(Request));
    EXPECT_EQ(Now() - start, (523 + 7) * 20 + 150u);
}

TEST_F(VirtualDevice, AnApplicationListsButAnswersNothing) {
    TVirtualDevice& device = AddAndOpen();
    device.SwitchOn(TDeviceMode::Application);
    EXPECT_FALSE(Boot.QueryBootloader());
    EXPECT_TRUE(Link.FindDevice());
    ASSERT_EQ(device.Frames.size(), 1u);
    EXPECT_TRUE(device.Frames[0].Valid);
    EXPECT_FALSE(device.Frames[0].Answered);
}

TEST_F(VirtualDevice, PowerOffAnswersThenLeavesTheBus) {
    TVirtualDevice& device = AddAndOpen();
    EXPECT_TRUE(Boot.SendSimpleRequest(CmdPowerOff));
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(device.Mode(), TDeviceMode::Off);
    EXPECT_FALSE(Boot.SendSimpleRequest(CmdGetBootVersion));
    Link.Upkeep();
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_EQ(Bus.OpenHandleCount(), 0u);
    device.SwitchOn(TDeviceMode::Bootloader);
    Link.Upkeep();
    EXPECT_NE(Link.FtHandle, 0u);
    EXPECT_TRUE(Boot.SendSimpleRequest(CmdGetBootVersion));
}

TEST_F(VirtualDevice, OpeningIsExclusiveAndRefusalsAreExplained) {
    TVirtualDevice& device = AddAndOpen();
    FT_HANDLE second = 0;
    EXPECT_EQ(Bus.Open(0, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_FALSE(Bus.LastOpenError().empty());

    TVirtualBus bus;
    bus.AddDevice("QOR 7316").OpenRefusal = "Held by another program";
    TDeviceLink link(bus);
    link.Upkeep();
    EXPECT_EQ(link.FtHandle, 0u);
    EXPECT_EQ(link.LastOpenError(), "Held by another program");
    EXPECT_EQ(device.Frames.size(), 0u);
}

TEST_F(VirtualDevice, AtTheWrongBaudRateTheDeviceHearsNothing) {
    TVirtualDevice& device = Bus.AddDevice("QOR 7316");
    std::uint32_t count = 0;
    Bus.CreateDeviceInfoList(&count);
    ASSERT_EQ(Bus.Open(0, &Link.FtHandle), FT_OK);
    Bus.SetTimeouts(Link.FtHandle, 100, 500);
    EXPECT_FALSE(Boot.SendSimpleRequest(CmdGetBootVersion));
    EXPECT_TRUE(device.Frames.empty());
}

TEST_F(VirtualDevice, TheListShowsOnlyPluggedDevicesThatAreOn) {
    Bus.AddDevice("FT232R USB UART").SwitchOn(TDeviceMode::Application);
    TVirtualDevice& ours = Bus.AddDevice("QOR 7316");
    std::uint32_t count = 0;
    Bus.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 2u);
    ours.Unplug();
    Bus.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 1u);
    ours.Plug();
    ours.SwitchOff();
    Bus.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 1u);
    ours.SwitchOn(TDeviceMode::Bootloader);
    Bus.CreateDeviceInfoList(&count);
    ASSERT_EQ(count, 2u);
    FT_DEVICE_LIST_INFO_NODE nodes[2];
    EXPECT_EQ(Bus.GetDeviceInfoList(nodes, &count), FT_OK);
    EXPECT_STREQ(nodes[0].Description, "FT232R USB UART");
    EXPECT_STREQ(nodes[1].Description, "QOR 7316");
}
