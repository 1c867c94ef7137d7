#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "device/Bootloader.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"

using namespace qor;
using namespace qor::test;

namespace {

class DeviceSearch : public ::testing::Test {
protected:
    TScriptedPort Port;
    TDeviceLink Link{Port};
};

using Timeouts = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

} // namespace

TEST_F(DeviceSearch, NoDeviceAtAll) {
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex, -1);
}

TEST_F(DeviceSearch, TheDescriptionMustMatchWhole) {
    Port.Descriptions = {"qor 7316", "QOR 7316 ", "QOR 731", "QOR 73166", " QOR 7316", ""};
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex, -1);
}

TEST_F(DeviceSearch, TheFirstOfTwoMatchingDevicesIsTaken) {
    Port.Descriptions = {"FT232R USB UART", "QOR 7316", "QOR 7316"};
    EXPECT_TRUE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex, 1);
}

TEST_F(DeviceSearch, AListFailureCountsAsNotFound) {
    Port.Descriptions = {"QOR 7316"};
    Link.DeviceIndex = 0;
    Port.ListStatus = FT_IO_ERROR;
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex, -1);
}

TEST_F(DeviceSearch, UpkeepClosesWithHandleZeroOnEveryTickWithoutADevice) {
    Link.Upkeep();
    Link.Upkeep();
    EXPECT_EQ(Port.Closed, (std::vector<FT_HANDLE>{0, 0}));
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_TRUE(Port.Opened.empty());
}

TEST_F(DeviceSearch, UpkeepOpensAtTheFixedSettingsOnce) {
    Port.Descriptions = {"QOR 7316"};
    Link.Upkeep();
    EXPECT_NE(Link.FtHandle, 0u);
    EXPECT_EQ(Port.Bauds, (std::vector<std::uint32_t>{500000}));
    EXPECT_EQ(Port.Timeouts, (Timeouts{{2000, 500}}));
    Link.Upkeep();
    EXPECT_EQ(Port.Opened.size(), 1u);
    EXPECT_TRUE(Port.Closed.empty());
    EXPECT_TRUE(Link.LastOpenError().empty());
}

TEST_F(DeviceSearch, AnOpenHandleStaysWhenTheIndexMoves) {
    Port.Descriptions = {"QOR 7316"};
    Link.Upkeep();
    const FT_HANDLE handle = Link.FtHandle;
    Port.Descriptions = {"FT232R USB UART", "QOR 7316"};
    Link.Upkeep();
    EXPECT_EQ(Link.DeviceIndex, 1);
    EXPECT_EQ(Link.FtHandle, handle);
    EXPECT_EQ(Port.Opened, (std::vector<int>{0}));
}

TEST_F(DeviceSearch, UnpluggingClosesTheHandleWithinOneTick) {
    Port.Descriptions = {"QOR 7316"};
    Link.Upkeep();
    const FT_HANDLE handle = Link.FtHandle;
    Port.Descriptions.clear();
    Link.Upkeep();
    EXPECT_EQ(Port.Closed, (std::vector<FT_HANDLE>{handle}));
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_EQ(Link.DeviceIndex, -1);
}

TEST_F(DeviceSearch, AFailedOpenIsRetriedEachTickAndExplained) {
    Port.Descriptions = {"QOR 7316"};
    Port.OpenStatus = FT_DEVICE_NOT_OPENED;
    Port.OpenErrorText = "Permission denied opening /dev/ttyUSB0";
    Link.Upkeep();
    Link.Upkeep();
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_EQ(Port.Opened.size(), 2u);
    EXPECT_TRUE(Port.Bauds.empty());
    EXPECT_EQ(Link.LastOpenError(), "Permission denied opening /dev/ttyUSB0");

    Port.OpenErrorText.clear();
    Link.Upkeep();
    EXPECT_NE(Link.LastOpenError().find("could not be opened"), std::string::npos);

    Port.OpenStatus = FT_OK;
    Link.Upkeep();
    EXPECT_NE(Link.FtHandle, 0u);
    EXPECT_TRUE(Link.LastOpenError().empty());
}

TEST(FullQuery, AsksInOrderWithAShortFirstWait) {
    TScriptedPort port;
    TDeviceLink link(port);
    TBootloader boot(link);
    link.FtHandle = 0x10;
    port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(1, {124}),
                    MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}), MakeFrame(4, {'1', '.', '0', 'a'})};
    EXPECT_TRUE(boot.QueryBootloader());
    EXPECT_TRUE(boot.BootloaderReady);
    ASSERT_EQ(port.Written.size(), 5u);
    const std::uint8_t order[] = {CmdGetBootVersion, CmdGetPageSize, CmdGetPageCount,
                                  CmdGetChecksums, CmdGetFirmwareVersion};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(port.Written[i][2], order[i]);
    }
    EXPECT_EQ(port.Timeouts, (Timeouts{{100, 500}, {2500, 500}}));
    EXPECT_EQ(boot.Values.PageSize, 512u);
    EXPECT_EQ(boot.Values.PageCount, 124u);
    EXPECT_EQ(boot.Values.DeviceFWVersion, "1.0a");
}

TEST(FullQuery, StopsAtTheFirstFailure) {
    TScriptedPort port;
    TDeviceLink link(port);
    TBootloader boot(link);
    link.FtHandle = 0x10;
    boot.BootloaderReady = true;
    port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(13)};
    EXPECT_FALSE(boot.QueryBootloader());
    EXPECT_FALSE(boot.BootloaderReady);
    EXPECT_EQ(port.Written.size(), 3u);

    port.Written.clear();
    port.Timeouts.clear();
    boot.BootloaderReady = true;
    EXPECT_FALSE(boot.QueryBootloader()); // silence on the first request
    EXPECT_FALSE(boot.BootloaderReady);
    EXPECT_EQ(port.Written.size(), 1u);
    EXPECT_EQ(port.Timeouts, (Timeouts{{100, 500}}));
}

TEST(KeepAlive, UpdatesTheVersionAndIgnoresFailure) {
    TScriptedPort port;
    TDeviceLink link(port);
    TBootloader boot(link);
    link.FtHandle = 0x10;
    boot.BootloaderReady = true;
    port.Replies = {MakeFrame(0, {2, 0}), {}};
    boot.PollBootloader();
    EXPECT_EQ(boot.Values.BootVersionMajor, 2u);
    boot.PollBootloader();
    EXPECT_TRUE(boot.BootloaderReady);
    EXPECT_EQ(boot.Values.BootVersionMajor, 2u);
    EXPECT_TRUE(port.Timeouts.empty());
}
