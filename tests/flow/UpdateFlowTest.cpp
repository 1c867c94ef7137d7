// The flow both programs run, alone over a queried virtual device.
#include "flow/UpdateFlow.h"

#include <gtest/gtest.h>

#include "device/Protocol.h"
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

class TKeptRecords : public IServiceRecorder {
public:
    TResult<void> Record(const TServiceRecord& record) override {
        Records.push_back(record);
        return {};
    }
    std::vector<TServiceRecord> Records;
};

class UpdateFlow : public ::testing::Test {
protected:
    void SetUp() override {
        (void)Monitor.Link().Upkeep();
        ASSERT_TRUE(Monitor.QueryBootloader());
        Device.Frames.clear();
    }

    TUpdateFlowResult Run(const TByteVector& bytes, const TUpdateFlowOptions& options = {}) {
        auto image = ParseFirmwareImage(bytes);
        EXPECT_TRUE(image.Ok());
        return RunUpdateFlow(Monitor, *image, {"image.bin", "/images/image.bin"}, Observer,
                             &Recorded, options);
    }

    TVirtualBus Bus;
    TVirtualDevice& Device = Bus.AddDevice("QOR 7316", TBootloaderConfig::VariantA());
    TConnectionMonitor Monitor{Bus};
    TQuietObserver Observer;
    TKeptRecords Recorded;
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

// --skip-current: only a device that reports the image's version with checksums that agree
// is left as it is, and its record says so.
struct TCurrentCase {
    const char* Name;
    const char* DeviceRuns; // the version in the device's flash
    bool Intact;            // its checksums agree
    bool SkipCurrent;
    bool Current; // expected: nothing sent
};

class SkipCurrent : public UpdateFlow, public ::testing::WithParamInterface<TCurrentCase> {};

TEST_P(SkipCurrent, LeavesOnlyADeviceThatRunsTheImageIntact) {
    const TCurrentCase& c = GetParam();
    const TByteVector image = MakeFirmwareImage(63488, "1.6a");
    TByteVector flash = MakeFirmwareImage(63488, c.DeviceRuns);
    if (!c.Intact) {
        flash[100] ^= 0xFF; // the content no longer matches the trailer
    }
    Device.Bootloader.LoadFlash(flash);
    ASSERT_TRUE(Monitor.QueryBootloader());
    Device.Frames.clear();

    const TUpdateFlowResult run = Run(image, {c.SkipCurrent, 1, 1});
    EXPECT_EQ(run.Current, c.Current);
    EXPECT_EQ(Device.Bootloader.Flash(), c.Current ? flash : image);
    EXPECT_EQ(Device.FrameCount(CmdBeginUpdate), c.Current ? 0u : 1u);
    EXPECT_EQ(Observer.Accepts, c.Current ? 0 : 1);
    ASSERT_EQ(Recorded.Records.size(), 1u);
    EXPECT_EQ(Recorded.Records[0].Current, c.Current);
    EXPECT_EQ(Recorded.Records[0].Exit, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkipCurrent,
    ::testing::Values(TCurrentCase{"RunsTheImage", "1.6a", true, true, true},
                      TCurrentCase{"WithoutTheOption", "1.6a", true, false, false},
                      TCurrentCase{"AnotherVersion", "1.5a", true, true, false},
                      TCurrentCase{"ChecksumsDiffer", "1.6a", false, true, false}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace qor
