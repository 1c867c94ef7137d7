#include "device/UpdateSession.h"

#include <gtest/gtest.h>

#include <functional>

#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "qortest/ScriptedPort.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

namespace qor {
namespace {

class TQuietObserver : public IUpdateObserver {
public:
    void Pump() override { ++Pumps; }
    void PumpWhileWaiting() override {
        if (WhileWaiting) {
            WhileWaiting();
        }
    }
    std::function<void()> WhileWaiting;
    bool StopRequested() override { return false; }
    void Progress(int thousandths) override { Last = thousandths; }
    int Pumps = 0;
    int Last = -1;
};

// The session alone, over a queried virtual device.
class UpdateSession : public ::testing::Test {
protected:
    void SetUp() override {
        (void)Monitor.Link().Upkeep();
        ASSERT_TRUE(Monitor.QueryBootloader());
        Device.Frames.clear();
    }

    TUpdateOutcome Run(const TByteVector& image) {
        TUpdateSession session(Monitor.Link(), Monitor.Bootloader(), Monitor.Info());
        return session.Run(image, Observer);
    }

    // The device as the bus made it; Reconnect() makes it anew with another configuration.
    void Reconnect(const TBootloaderConfig& config) {
        Device.Unplug();
        (void)Monitor.Tick(false);
        Device.Bootloader = TBootloaderEmulator(config);
        Device.Plug();
        (void)Monitor.Tick(false);
        ASSERT_TRUE(Monitor.QueryBootloader());
        Device.Frames.clear();
    }

    TVirtualBus Bus;
    TVirtualDevice& Device = Bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA());
    TConnectionMonitor Monitor{Bus};
    TQuietObserver Observer;
};

TEST_F(UpdateSession, WritesEveryWholeBlockAndReadsTheResultBack) {
    const TByteVector image = MakeFirmwareImage(63488, "2.0a");
    const TUpdateOutcome outcome = Run(image);
    EXPECT_EQ(outcome.Result, TUpdateResult::Succeeded);
    EXPECT_EQ(outcome.BlocksWritten, 124u);
    EXPECT_EQ(Observer.Pumps, 129);
    EXPECT_EQ(Observer.Last, 991);
    EXPECT_EQ(Device.Bootloader.Flash(), image);
    EXPECT_EQ(Monitor.Info().DeviceFWVersion, "2.0a");
}

TEST_F(UpdateSession, AFailureKeepsItsStepItsBlockAndItsReason) {
    Device.Faults.Add(TFault::OnBlock(5, TFaultKind::AnswerCode13));
    const TUpdateOutcome outcome = Run(MakeFirmwareImage(63488, "2.0a"));
    ASSERT_EQ(outcome.Result, TUpdateResult::Failed);
    EXPECT_EQ(outcome.Failure->Step, TUpdateStep::WriteBlock);
    EXPECT_EQ(outcome.Failure->ExitText(), "2:5");
    EXPECT_EQ(outcome.Failure->Error.Describe(), "refused with code 13");
    EXPECT_EQ(outcome.BlocksWritten, 5u);
}

TEST_F(UpdateSession, NoExchangeStartsWhileAnotherWaitsForItsReply) {
    // Events served while block 3 waits may start the monitor's full query (a device found
    // again) or any other request on the same client: each is refused and sends nothing.
    Device.Faults.Add(TFault::OnBlock(3, TFaultKind::Delay, 20));
    std::vector<TExchangeFault> refused;
    bool queried = true;
    Observer.WhileWaiting = [&] {
        const auto version = Monitor.Bootloader().QueryVersion();
        refused.push_back(version ? TExchangeFault::NoConnection : version.Error().Fault);
        queried = queried && Monitor.QueryBootloader();
    };
    const TByteVector image = MakeFirmwareImage(63488, "2.0a");
    EXPECT_EQ(Run(image).Result, TUpdateResult::Succeeded);
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(refused, std::vector<TExchangeFault>(refused.size(), TExchangeFault::Busy));
    EXPECT_FALSE(queried);
    EXPECT_EQ(Device.FrameCount(CmdGetBootVersion), 0u);
    EXPECT_EQ(Monitor.Link().ReadTimeout().count(), 8000) << "the update's time-outs stay";
    EXPECT_EQ(Device.Bootloader.Flash(), image);
}

// Only checksums the device reports after the end request, in reply to the checksum or the
// firmware-version query, decide the update; the checksums and version known before, or
// reported earlier in the update, never stand in for them.
struct TReadBackCase {
    const char* Name;
    bool SwapQueries;     // the two queries answered with each other's replies
    bool DataAcks;        // the finish request answered with the (agreeing) checksums
    bool AckBothQueries;  // neither query reports a value
    bool AckVersionQuery; // the version query reports nothing
    TUpdateResult Result;
    std::optional<std::string> Version;
};

void PrintTo(const TReadBackCase& c, std::ostream* out) {
    *out << c.Name;
}

class ReadBack : public UpdateSession, public ::testing::WithParamInterface<TReadBackCase> {};

TEST_P(ReadBack, OnlyChecksumsReportedAfterTheEndRequestDecide) {
    const TReadBackCase& c = GetParam();
    TBootloaderConfig config = TBootloaderConfig::VariantA();
    config.SwapQueryReplies = c.SwapQueries;
    config.DataAcknowledgements = c.DataAcks;
    Reconnect(config);
    ASSERT_TRUE(Monitor.Info().ChecksumValid()) << "agreeing checksums known before";
    if (c.AckBothQueries) {
        Device.Faults.Add(TFault::OnCode(CmdGetChecksums, TFaultKind::AnswerOtherCode, 7));
    }
    if (c.AckBothQueries || c.AckVersionQuery) {
        Device.Faults.Add(TFault::OnCode(CmdGetFirmwareVersion, TFaultKind::AnswerOtherCode, 7));
    }
    const TUpdateOutcome outcome = Run(MakeFirmwareImage(63488, "2.0a"));
    ASSERT_EQ(outcome.Result, c.Result);
    EXPECT_EQ(Monitor.Info().DeviceFWVersion, c.Version);
    if (c.Result == TUpdateResult::Failed) {
        EXPECT_EQ(outcome.Failure->ExitText(), "5");
        EXPECT_EQ(outcome.Failure->Error.Describe(),
                  "the device reported no checksums after the update");
        EXPECT_EQ(Monitor.Info().DeviceChecksums, std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReadBack,
    ::testing::Values(
        TReadBackCase{"AsAsked", false, false, false, false, TUpdateResult::Succeeded, "2.0a"},
        TReadBackCase{"Swapped", true, false, false, false, TUpdateResult::Succeeded, "2.0a"},
        TReadBackCase{"VersionAcknowledged", false, false, false, true, TUpdateResult::Succeeded,
                      std::nullopt},
        TReadBackCase{"BothAcknowledged", false, false, true, false, TUpdateResult::Failed,
                      std::nullopt},
        TReadBackCase{"ChecksumsOnlyBeforeTheEnd", false, true, true, false, TUpdateResult::Failed,
                      std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

// The range requests carry the page count the update started with, whatever page counts the
// device reports in between.
TEST(UpdateSessionPageCount, IsTheOneTheUpdateStartedWith) {
    test::TScriptedPort port;
    port.Descriptions = {"QOR 7316"};
    TConnectionMonitor monitor(port);
    (void)monitor.Link().Upkeep();
    monitor.Info().PageCount = 124;
    const auto count = [](std::uint8_t n) {
        return test::MakeFrame(CmdGetPageCount, {n});
    };
    port.Replies = {test::MakeFrame(7),
                    count(100),
                    count(50),
                    test::MakeFrame(7),
                    count(9),
                    test::MakeFrame(7),
                    test::MakeFrame(3, {0, 0, 0, 1, 0, 0, 0, 1}),
                    test::MakeFrame(7)};
    TQuietObserver observer;
    TUpdateSession session(monitor.Link(), monitor.Bootloader(), monitor.Info());
    const TUpdateOutcome outcome = session.Run(MakeFirmwareImage(1024, "2.0a"), observer);
    EXPECT_EQ(outcome.Result, TUpdateResult::Succeeded);
    ASSERT_EQ(port.Written.size(), 8u);
    EXPECT_EQ(port.Written[1][2], CmdPrepareRange);
    EXPECT_EQ(port.Written[1][4], 123);
    EXPECT_EQ(port.Written[4][2], CmdFinishRange);
    EXPECT_EQ(port.Written[4][4], 123);
    EXPECT_EQ(monitor.Info().PageCount, 9u) << "stored as it came all the same";
}

} // namespace
} // namespace qor
