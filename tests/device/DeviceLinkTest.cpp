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

TEST_F(Queries, TheFullQueryStopsAtTheFirstFailure) {
    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(13)};
    EXPECT_FALSE(Monitor.QueryBootloader());
    EXPECT_FALSE(Monitor.BootloaderReady());
    EXPECT_EQ(Port.Written.size(), 3u);
    EXPECT_EQ(Monitor.Info().PageSize, 512u) << "what was answered is kept";

    Port.Written.clear();
    Port.ReadTimeouts.clear();
    EXPECT_FALSE(Monitor.QueryBootloader()); // silence on the first request
    EXPECT_EQ(Port.Written.size(), 1u);
    EXPECT_EQ(Port.ReadTimeouts, (std::vector<std::int64_t>{100}));
}

TEST_F(Queries, TheKeepAliveUpdatesTheVersionAndIgnoresFailure) {
    Monitor.Link().SetTimeouts(2500, 500);
    Port.Replies = {MakeFrame(0, {2, 0}), {}};
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().BootVersionMajor, 2u);
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().BootVersionMajor, 2u);
    EXPECT_EQ(Port.ReadTimeouts.front(), 2500) << "with the time-outs in force";
}

TEST_F(Queries, TheVersionRequestMayBeAnsweredWithAnyGoodCode) {
    // An acknowledgement leaves the version as it was; a value is stored by its own code.
    Port.Replies = {MakeFrame(7),
                    MakeFrame(2, {PageSizeCode512}),
                    MakeFrame(1, {124}),
                    MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}),
                    MakeFrame(4, {'1', '.', '0', 'a'}),
                    MakeFrame(3, {0, 0, 0, 1, 0, 0, 0, 2}),
                    MakeFrame(12),
                    MakeFrame(2, {3})};
    EXPECT_TRUE(Monitor.QueryBootloader());
    EXPECT_EQ(Monitor.Info().BootVersionMajor, 0u);
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().DeviceChecksum2, 2u);
    Monitor.PollBootloader();
    EXPECT_EQ(Monitor.Info().DeviceChecksum2, 2u);
    Monitor.PollBootloader(); // a page-size code that names no size
    EXPECT_EQ(Monitor.Info().PageSize, 512u);
}

TEST_F(Queries, APageSizeCodeThatNamesNoSizeKeepsTheSizeAndTheVariant) {
    Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {PageSizeCode1024}), MakeFrame(1, {126}),
                    MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}), MakeFrame(4, {'1', '.', '0', 'b'})};
    ASSERT_TRUE(Monitor.QueryBootloader());
    for (const std::uint8_t code : {0, 3, 8, 0xFF}) {
        Port.Replies = {MakeFrame(0, {1, 3}), MakeFrame(2, {code}), MakeFrame(1, {126}),
                        MakeFrame(3, {0, 0, 0, 7, 0, 0, 0, 7}), MakeFrame(4, {'1', '.', '0', 'b'})};
        EXPECT_TRUE(Monitor.QueryBootloader()) << int{code};
        EXPECT_EQ(Monitor.Info().PageSize, 1024u) << int{code};
        EXPECT_EQ(TDeviceVariant::FromGeometry(Monitor.Info().PageSize, Monitor.Info().PageCount)
                      .Letter(),
                  'b')
            << int{code};
    }
}
