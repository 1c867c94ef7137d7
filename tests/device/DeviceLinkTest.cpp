#include <gtest/gtest.h>

#include "device/ConnectionMonitor.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "qortest/ScriptedPort.h"

using namespace qor;
using namespace qor::test;

namespace {

class DeviceSearch : public ::testing::Test {
protected:
    TScriptedPort Port;
    TDeviceLink Link{Port};
};

// The monitor over a scripted device whose port is open.
class Queries : public ::testing::Test {
protected:
    TScriptedPort Port;
    TConnectionMonitor Monitor{Port};

    void SetUp() override {
        Port.Descriptions = {"QOR 7316"};
        (void)Monitor.Link().Upkeep();
        ASSERT_NE(Monitor.Link().Connection(), nullptr);
    }
};

} // namespace

TEST_F(DeviceSearch, NoDeviceAtAll) {
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex(), -1);
}

TEST_F(DeviceSearch, TheDescriptionMustMatchWhole) {
    Port.Descriptions = {"qor 7316", "QOR 7316 ", "QOR 731", "QOR 73166", " QOR 7316", ""};
    EXPECT_FALSE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex(), -1);
}

TEST_F(DeviceSearch, TheFirstOfTwoMatchingDevicesIsTaken) {
    Port.Descriptions = {"FT232R USB UART", "QOR 7316", "QOR 7316"};
    EXPECT_TRUE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex(), 1);
    EXPECT_EQ(Link.PortName(), "port1");
}

TEST_F(DeviceSearch, AChosenPortIsTheOnlyOneTaken) {
    Port.Descriptions = {"QOR 7316", "QOR 7316"};
    Link.ChoosePort("port1");
    EXPECT_TRUE(Link.FindDevice());
    EXPECT_EQ(Link.DeviceIndex(), 1);
    Link.ChoosePort("port7");
    EXPECT_FALSE(Link.FindDevice());
}

TEST_F(DeviceSearch, UpkeepWithoutADeviceOpensNothing) {
    (void)Link.Upkeep();
    (void)Link.Upkeep();
    EXPECT_EQ(Link.Connection(), nullptr);
    EXPECT_TRUE(Port.Opened.empty());
}

TEST_F(DeviceSearch, UpkeepOpensAtTheFixedSettingsOnce) {
    Port.Descriptions = {"QOR 7316"};
    (void)Link.Upkeep();
    EXPECT_NE(Link.Connection(), nullptr);
    EXPECT_EQ(Port.Bauds, (std::vector<std::uint32_t>{500000}));
    EXPECT_EQ(Link.ReadTimeout().count(), 2000);
    EXPECT_EQ(Link.WriteTimeout().count(), 500);
    const auto kept = Link.Upkeep();
    EXPECT_EQ(Port.Opened.size(), 1u);
    EXPECT_EQ(Port.OpenConnections, 1);
    EXPECT_TRUE(kept.Ok());
    EXPECT_EQ(Link.OpenCount(), 1u);
}

TEST_F(DeviceSearch, AnOpenConnectionStaysWhenTheIndexMoves) {
    Port.Descriptions = {"QOR 7316"};
    (void)Link.Upkeep();
    const IPortConnection* connection = Link.Connection();
    Port.Descriptions = {"FT232R USB UART", "QOR 7316"};
    (void)Link.Upkeep();
    EXPECT_EQ(Link.DeviceIndex(), 1);
    EXPECT_EQ(Link.Connection(), connection);
    EXPECT_EQ(Port.Opened, (std::vector<std::size_t>{0}));
}

TEST_F(DeviceSearch, UnpluggingClosesTheConnectionWithinOneTick) {
    Port.Descriptions = {"QOR 7316"};
    (void)Link.Upkeep();
    Port.Descriptions.clear();
    (void)Link.Upkeep();
    EXPECT_EQ(Port.OpenConnections, 0);
    EXPECT_EQ(Link.Connection(), nullptr);
    EXPECT_EQ(Link.DeviceIndex(), -1);
}

TEST_F(DeviceSearch, AFailedOpenIsRetriedEachTickAndExplained) {
    Port.Descriptions = {"QOR 7316"};
    Port.OpenRefusal = "Permission denied opening /dev/ttyUSB0";
    (void)Link.Upkeep();
    auto kept = Link.Upkeep();
    EXPECT_EQ(Link.Connection(), nullptr);
    EXPECT_EQ(Port.Opened.size(), 2u);
    EXPECT_TRUE(Port.Bauds.empty());
    EXPECT_EQ(kept.Error().Reason, "Permission denied opening /dev/ttyUSB0");

    Port.OpenRefusal.clear();
    kept = Link.Upkeep();
    EXPECT_NE(Link.Connection(), nullptr);
    EXPECT_TRUE(kept.Ok());
}

TEST_F(Queries, TheFullQueryAsksInOrderWithAShortFirstWait) {
    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(1, {124}),
                    MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}), MakeFrame(4, {'1', '.', '0', 'a'})};
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_TRUE(Monitor.BootloaderReady());
    ASSERT_EQ(Port.Written.size(), 5u);
    const std::uint8_t order[] = {CmdGetBootVersion, CmdGetPageSize, CmdGetPageCount,
                                  CmdGetChecksums, CmdGetFirmwareVersion};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Port.Written[i][2], order[i]);
    }
    EXPECT_EQ(Port.ReadTimeouts.front(), 100);
    EXPECT_EQ(Port.ReadTimeouts.back(), 2500);
    EXPECT_EQ(Monitor.Link().ReadTimeout().count(), 2500) << "left in force after the query";
    EXPECT_EQ(Monitor.Info().PageSize, 512u);
    EXPECT_EQ(Monitor.Info().PageCount, 124u);
    EXPECT_EQ(Monitor.Info().DeviceFWVersion, "1.0a");
}

TEST_F(Queries, TheFullQueryStopsAtTheFirstFailureAndSaysWhere) {
    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(13)};
    EXPECT_FALSE(Monitor.QueryBootloader());
    EXPECT_FALSE(Monitor.BootloaderReady());
    EXPECT_EQ(Port.Written.size(), 3u);
    EXPECT_EQ(Monitor.Info().PageSize, 512u) << "what was answered is kept";
    ASSERT_TRUE(Monitor.QueryFailure().has_value());
    EXPECT_TRUE(Monitor.QueryFailure()->Answered());
    EXPECT_EQ(Monitor.QueryFailure()->Describe(),
              "the page-count request failed: refused with code 13");

    Port.Written.clear();
    Port.ReadTimeouts.clear();
    EXPECT_FALSE(Monitor.QueryBootloader()); // silence on the first request
    EXPECT_EQ(Port.Written.size(), 1u);
    EXPECT_EQ(Port.ReadTimeouts, (std::vector<std::int64_t>{100}));
    EXPECT_FALSE(Monitor.QueryFailure()->Answered());
}

TEST_F(Queries, TheKeepAliveStoresWhatComesAndIgnoresFailure) {
    Monitor.Link().SetTimeouts(2500, 500);
    Port.Replies = {MakeFrame(0, {2, 0}), {}, MakeFrame(3, {0, 0, 0, 1, 0, 0, 0, 2})};
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().BootVersion, (TBootVersion{2, 0}));
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().BootVersion, (TBootVersion{2, 0}));
    EXPECT_EQ(Port.ReadTimeouts.front(), 2500) << "with the time-outs in force";
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().DeviceChecksums, (TChecksums{1, 2})) << "stored by its own code";
}

// Each query answered by another's reply, and the firmware version by an acknowledgement (a
// flash with no application): connected, with every value that came stored by its own code.
TEST_F(Queries, TheFullQueryTakesWhateverGoodRepliesCome) {
    Port.Replies = {MakeFrame(7), MakeFrame(1, {124}), MakeFrame(2, {PageSizeCode512}),
                    MakeFrame(4, {'1', '.', '0', 'a'}), MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 8})};
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_FALSE(Monitor.QueryFailure().has_value());
    const TDeviceInfo& info = Monitor.Info();
    EXPECT_EQ(info.BootVersion, std::nullopt);
    EXPECT_EQ(info.PageSize, 512u);
    EXPECT_EQ(info.PageCount, 124u);
    EXPECT_EQ(info.DeviceChecksums, (TChecksums{7, 8}));
    EXPECT_EQ(info.DeviceFWVersion, "1.0a");
    EXPECT_EQ(UnreportedValues(info), "its bootloader version");

    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(9), MakeFrame(12), MakeFrame(5), MakeFrame(7)};
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_EQ(Monitor.Info().PageSize, 512u) << "reported earlier by this device";
}

// A device found anew starts with nothing reported: what the one before reported never
// stands in for what this one did not.
TEST_F(Queries, ValuesOfADeviceThatWentAreForgotten) {
    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode1024}), MakeFrame(1, {126}),
                    MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}), MakeFrame(4, {'1', '.', '0', 'b'})};
    ASSERT_TRUE(Monitor.QueryBootloader());
    ASSERT_TRUE(ReportedVariant(Monitor.Info()).Ok());
    Port.Descriptions.clear();
    (void)Monitor.Tick(false);
    Port.Descriptions = {"QOR 7316"};
    (void)Monitor.Tick(false);
    Port.Replies = {MakeFrame(0, {1, 4}), MakeFrame(7), MakeFrame(7), MakeFrame(7), MakeFrame(7)};
    ASSERT_TRUE(Monitor.QueryBootloader());
    TDeviceInfo versionOnly;
    versionOnly.BootVersion = TBootVersion{1, 4};
    EXPECT_EQ(Monitor.Info(), versionOnly);
    const auto variant = ReportedVariant(Monitor.Info());
    ASSERT_FALSE(variant.Ok());
    EXPECT_EQ(variant.Error().Reason, "the device did not report its page size");
}
