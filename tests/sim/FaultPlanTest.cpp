#include <gtest/gtest.h>

#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// Each fault fails the exchange it hits, and the exchange after it works again.
class Faults : public ::testing::Test {
protected:
    TVirtualBus Bus;
    TVirtualDevice& Device = Bus.AddDevice("QOR 7316");
    TConnectionMonitor Monitor{Bus};
    TDeviceLink& Link = Monitor.Link();
    TBootloaderClient& Client = Monitor.Bootloader();

    void SetUp() override {
        (void)Link.Upkeep();
        ASSERT_TRUE(Monitor.QueryBootloader()); // leaves 2500 ms read time-outs in force
    }

    bool Version() { return Client.QueryVersion().Ok(); }

    // The next tick comes 100 ms later at the earliest.
    void NextTick() { static_cast<TVirtualClock&>(Bus.Clock()).AdvanceUs(100000); }

    void ExpectFaultFailsOnce(const TFault& fault) {
        Device.Faults.Add(fault);
        EXPECT_FALSE(Version());
        EXPECT_EQ(Device.Faults.Pending(), 0u);
        NextTick();
        const auto version = Client.QueryVersion();
        ASSERT_TRUE(version.Ok());
        EXPECT_EQ(std::get<TBootVersion>(*version).Major, 1);
    }
};

} // namespace

TEST_F(Faults, DroppedReply) {
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::DropReply));
}

TEST_F(Faults, CorruptedCrc) {
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::CorruptCrc));
}

TEST_F(Faults, Code13) {
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::AnswerCode13));
}

TEST_F(Faults, AnotherRequestsCode) {
    // The version's two bytes under the checksum reply's code: too short for its data.
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::AnswerOtherCode, CmdGetChecksums));
}

TEST_F(Faults, TruncatedReply) {
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::Truncate));
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::Truncate, 1));
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::Truncate, 2));
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::Truncate, 8));
}

TEST_F(Faults, LengthsTheReplyBufferCannotTake) {
    for (std::uint32_t length : {257u, 300u, 600u, 65535u, 1u, 2u, 6u}) {
        SCOPED_TRACE(length);
        ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::AnnounceLength, length));
    }
    // A genuine frame as long as the buffer is still taken.
    Device.Faults.Add(TFault::OnCode(0, TFaultKind::AnnounceLength, 256));
    EXPECT_TRUE(Version());
}

TEST_F(Faults, ADelayBeyondTheReadTimeOut) {
    ExpectFaultFailsOnce(TFault::OnCode(0, TFaultKind::Delay, 2600));
}

TEST_F(Faults, ADelayWithinTheReadTimeOutIsWaitedFor) {
    Device.Faults.Add(TFault::OnCode(0, TFaultKind::Delay, 2400));
    const std::uint64_t start = Bus.Clock().NowUs();
    EXPECT_TRUE(Version());
    EXPECT_EQ(Bus.Clock().NowUs() - start, 2400000u);
}

TEST_F(Faults, UnpluggedMidExchange) {
    Device.Faults.Add(TFault::OnCode(CmdGetChecksums, TFaultKind::Unplug));
    EXPECT_FALSE(Monitor.QueryBootloader());
    EXPECT_FALSE(Device.Plugged());
    EXPECT_FALSE(Link.FindDevice());
}

TEST_F(Faults, ByRequestNumberAndByWriteBlock) {
    const std::uint32_t next = static_cast<std::uint32_t>(Device.Frames.size());
    Device.Faults.Add(TFault::OnRequest(next + 1, TFaultKind::DropReply));
    EXPECT_TRUE(Version());
    EXPECT_FALSE(Version());
    EXPECT_TRUE(Version());

    TFault onBlock = TFault::OnBlock(3, TFaultKind::CorruptCrc);
    onBlock.Repeat = true;
    Device.Faults.Add(onBlock);
    ASSERT_TRUE(Client.BeginUpdate());
    ASSERT_TRUE(Client.PrepareRange(124));
    const TByteVector block(BlockSize, 0x5A);
    for (std::uint32_t k = 0; k < 6; ++k) {
        EXPECT_EQ(Client.WriteBlock(k * BlockSize, block).Ok(), k != 3) << k;
    }
    EXPECT_FALSE(Client.WriteBlock(3 * BlockSize, block)) << "a repeating fault stays";
    EXPECT_EQ(Device.Faults.Pending(), 1u);
}

TEST_F(Faults, ADroppedPowerOffReplyStillSwitchesOff) {
    Device.Faults.Add(TFault::OnCode(CmdPowerOff, TFaultKind::DropReply));
    EXPECT_FALSE(Client.PowerOff());
    EXPECT_FALSE(Link.FindDevice());
}
