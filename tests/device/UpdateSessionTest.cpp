#include "device/UpdateSession.h"

#include <gtest/gtest.h>

#include <functional>

#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
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

} // namespace
} // namespace qor
