// The flow both programs run, alone over a queried virtual device.
#include "presenter/UpdateFlow.h"

#include <gtest/gtest.h>

#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

namespace qor {
namespace {

class TQuietObserver : public IUpdateFlowObserver {
public:
    void Accepted() override { ++Accepts; }
    void Pump() override {}
    bool StopRequested() override { return false; }
    void Progress(int) override {}
    int Accepts = 0;
};

class UpdateFlow : public ::testing::Test {
protected:
    void SetUp() override {
        (void)Monitor.Link().Upkeep();
        ASSERT_TRUE(Monitor.QueryBootloader());
        Device.Frames.clear();
    }

    TUpdateFlowResult Run(const TByteVector& bytes) {
        auto image = ParseFirmwareImage(bytes);
        EXPECT_TRUE(image.Ok());
        return RunUpdateFlow(Monitor, *image, {"image.bin", "/images/image.bin"}, Observer,
                             nullptr);
    }

    TVirtualBus Bus;
    TVirtualDevice& Device = Bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA());
    TConnectionMonitor Monitor{Bus};
    TQuietObserver Observer;
};

TEST_F(UpdateFlow, NeverWritesPastTheDevicesFlash) {
    for (const std::size_t size : {std::size_t{63488 + 512}, std::size_t{16} * 1024 * 1024 - 1}) {
        const TUpdateFlowResult run = Run(MakeFirmwareImage(size, "2.0a"));
        EXPECT_EQ(run.Outcome.Result, TUpdateResult::Refused) << size;
        EXPECT_FALSE(run.Outcome.Refusal.empty());
        ASSERT_TRUE(run.Rejection.has_value());
        EXPECT_EQ(run.Rejection->Fit, TFitFault::TooLarge);
    }
    EXPECT_EQ(Observer.Accepts, 0);
    EXPECT_TRUE(Device.Frames.empty());
}

// A rest short of one block is not written, so it does not count against the flash; the
// device's checksums then disagree, as for any image not of the flash's size.
TEST_F(UpdateFlow, AnImageWhoseWholeBlocksFitIsAcceptedOnceAndWritten) {
    const TByteVector image = MakeFirmwareImage(63488 + 511, "2.0a");
    const TUpdateFlowResult run = Run(image);
    EXPECT_EQ(run.Outcome.Result, TUpdateResult::ChecksumsDiffer);
    EXPECT_FALSE(run.Rejection.has_value());
    EXPECT_EQ(Observer.Accepts, 1);
    EXPECT_EQ(run.Outcome.BlocksWritten, 124u);
}

} // namespace
} // namespace qor
