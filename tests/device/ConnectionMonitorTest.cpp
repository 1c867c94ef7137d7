#include <gtest/gtest.h>

#include <memory>

#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The monitor over the virtual bus, one 100 ms step at a time: the display timer's share of
// the counters first, then the serial tick.
class Monitor : public ::testing::Test {
protected:
    TVirtualBus Bus;
    TDeviceLink Link{Bus};
    TBootloader Boot{Link};
    TMainState State;
    std::uint8_t Language = LangEnglish;
    int Ticks = 0;

    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (State.BlinkCountdown > 0) {
                --State.BlinkCountdown;
            }
            State.AnimCounter = (State.AnimCounter + 1) % 40;
            SerialTimerTick(State, Link, Boot, Language);
            ++Ticks;
        }
    }

    TMainView& View() { return State.View; }

    TVirtualDevice& Plug(const TBootloaderConfig& config = {}) {
        return Bus.AddDevice("QOR 7316", config);
    }

    void LoadImage() {
        State.FWBuffer = std::make_shared<const std::vector<std::uint8_t>>(63488, 0x5A);
        State.FWSize = 63488;
        State.FWLoaded = true;
    }

    void ExpectUnknownValues() {
        EXPECT_EQ(View().LQORBootldrVersion.Text, "-- / --");
        EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
        EXPECT_EQ(View().LQORChecksum, (TLabelView{"-- / --", TColour::WindowText}));
    }
};

} // namespace

TEST_F(Monitor, WithoutADeviceItShowsNotConnectedAndBlinks) {
    LoadImage();
    std::vector<int> toggles;
    bool shown = View().ImgNotConnected;
    for (int i = 0; i < 30; ++i) {
        Tick();
        if (View().ImgNotConnected != shown) {
            shown = View().ImgNotConnected;
            toggles.push_back(Ticks);
        }
    }
    EXPECT_EQ(toggles, (std::vector<int>{5, 15, 25})); // first after half a second
    EXPECT_EQ(View().LQORStatus, (TLabelView{"QOR 7316 not connected", TColour::Maroon}));
    ExpectUnknownValues();
    EXPECT_FALSE(View().BFlash);
    EXPECT_FALSE(View().BSwitchOff);
    EXPECT_FALSE(View().ImgSearch);
    EXPECT_FALSE(State.FWLoaded);
    EXPECT_EQ(State.FWBuffer, nullptr);
    EXPECT_EQ(Link.FtHandle, 0u);
}

TEST_F(Monitor, AnApplicationStaysInConnectingAndEachQueryStopsAtItsFirstRequest) {
    TVirtualDevice& device = Plug();
    device.SwitchOn(TDeviceMode::Application);
    std::vector<int> queries;
    for (int i = 0; i < 13; ++i) {
        const std::size_t before = device.Frames.size();
        Tick();
        if (device.Frames.size() != before) {
            EXPECT_EQ(device.Frames.size(), before + 1) << "tick " << Ticks;
            EXPECT_EQ(device.Frames.back().Code, CmdGetBootVersion);
            queries.push_back(Ticks);
        }
        EXPECT_EQ(View().LQORStatus.Text.rfind("Connect", 0), 0u);
        EXPECT_EQ(View().LQORStatus.Colour, TColour::Maroon);
    }
    EXPECT_EQ(queries, (std::vector<int>{4, 7, 10, 13}));
    EXPECT_FALSE(Boot.BootloaderReady);
    EXPECT_EQ(State.PollCountdown, PollReload);
    ExpectUnknownValues();
    // Each failing query waits out only the short first time-out.
    EXPECT_EQ(Bus.Clock().NowUs(), 4 * 100000u);
}

TEST_F(Monitor, ConnectingShowsOneDotPerSecondAndBlinksTheSearchImage) {
    Plug().SwitchOn(TDeviceMode::Application);
    const struct {
        std::uint32_t Anim;
        const char* Text;
    } cases[] = {
        {0, "Connect"}, {9, "Connect"}, {10, "Connect."}, {25, "Connect.."}, {39, "Connect..."}};
    for (const auto& c : cases) {
        State.AnimCounter = c.Anim;
        SerialTimerTick(State, Link, Boot, Language);
        EXPECT_EQ(View().LQORStatus.Text, c.Text);
    }
    State.BlinkCountdown = 0;
    View().ImgNotConnected = true;
    View().ImgFlash = true;
    SerialTimerTick(State, Link, Boot, Language);
    EXPECT_TRUE(View().ImgSearch);
    EXPECT_FALSE(View().ImgNotConnected);
    EXPECT_FALSE(View().ImgFlash);
    EXPECT_EQ(State.BlinkCountdown, BlinkReload);
}

TEST_F(Monitor, VariantsShowTheirLetter) {
    const struct {
        TBootloaderConfig Config;
        const char* Version;
        std::uint8_t Variant;
    } cases[] = {{TBootloaderConfig::VariantA(), "1.3a", 0},
                 {TBootloaderConfig::VariantB(), "1.3b", 1},
                 {{PageSizeCode256, 124}, "1.3", 2},
                 {{PageSizeCode512, 126}, "1.3", 2},
                 {{PageSizeCode1024, 124, 2, 10}, "2.10", 2}};
    for (const auto& c : cases) {
        TVirtualBus bus;
        bus.AddDevice("QOR 7316", c.Config);
        TDeviceLink link(bus);
        TBootloader boot(link);
        TMainState state;
        state.DeviceVariant = 7;
        for (int i = 0; i < 5; ++i) {
            SerialTimerTick(state, link, boot, LangEnglish);
        }
        EXPECT_EQ(state.View.LQORStatus, (TLabelView{"QOR 7316 connected", TColour::Green}));
        EXPECT_EQ(state.View.LQORBootldrVersion.Text, c.Version);
        EXPECT_EQ(state.DeviceVariant, c.Variant) << c.Version;
        EXPECT_EQ(state.View.LQORChecksum, (TLabelView{"valid", TColour::Green}));
    }
}

TEST_F(Monitor, ConnectedShowsTheFirmwareVersionOnlyForAgreeingChecksums) {
    TVirtualDevice& device = Plug();
    device.Bootloader.LoadFlash(MakeFirmwareImage(124 * 512, "3.1\x80"));
    View().ImgSearch = true;
    View().ImgNotConnected = true;
    Tick(5);
    EXPECT_EQ(View().LQORFWVersion.Text, "3.1\xE2\x82\xAC"); // the euro sign of Windows-1252
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"valid", TColour::Green}));
    EXPECT_FALSE(View().ImgSearch);
    EXPECT_FALSE(View().ImgNotConnected);

    // In Connected the buttons are the display timer's: left as they are.
    View().BFlash = true;
    View().BSwitchOff = true;
    Boot.Values.DeviceChecksum2 ^= 1;
    SerialTimerTick(State, Link, Boot, Language);
    EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
    EXPECT_TRUE(View().BFlash);
    EXPECT_TRUE(View().BSwitchOff);
}

TEST_F(Monitor, AnImageShorterThanTheFlashIsShownInvalid) {
    Plug().Bootloader.LoadFlash(MakeFirmwareImage(50000, "1.0a"));
    Tick(5);
    ASSERT_TRUE(Boot.BootloaderReady);
    EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
}

TEST_F(Monitor, EqualChecksumsWithoutAValidPageSizeAreInvalid) {
    TVirtualDevice& device = Plug({3, 124}); // page-size code 3 is not a size
    Tick(5);
    ASSERT_TRUE(Boot.BootloaderReady);
    EXPECT_EQ(device.Bootloader.Checksum1(), device.Bootloader.Checksum2());
    EXPECT_EQ(Boot.Values.PageSize, 0u);
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
    EXPECT_EQ(State.DeviceVariant, 2);
}

TEST_F(Monitor, UnpluggingIsNoticedWithinOneTickAndDropsTheImage) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Boot.BootloaderReady);
    LoadImage();
    View().BFlash = true;
    View().BSwitchOff = true;
    const TImageBytes updateHolds = State.FWBuffer; // an update in progress keeps its bytes

    device.Unplug();
    Tick();
    EXPECT_EQ(View().LQORStatus, (TLabelView{"QOR 7316 not connected", TColour::Maroon}));
    ExpectUnknownValues();
    EXPECT_FALSE(View().BFlash);
    EXPECT_FALSE(View().BSwitchOff);
    EXPECT_FALSE(Boot.BootloaderReady);
    EXPECT_FALSE(State.FWLoaded);
    EXPECT_EQ(State.FWBuffer, nullptr);
    ASSERT_NE(updateHolds, nullptr);
    EXPECT_EQ(updateHolds->size(), 63488u);
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_EQ(Bus.OpenHandleCount(), 0u);
    EXPECT_EQ(Boot.Values.PageCount, 124u) << "values are kept, only not shown";

    // Back again: a new full query after three Connecting ticks.
    device.Plug();
    const std::size_t before = device.Frames.size();
    Tick(2);
    EXPECT_EQ(device.Frames.size(), before);
    EXPECT_EQ(View().LQORStatus.Text.rfind("Connect", 0), 0u);
    Tick();
    EXPECT_EQ(device.Frames.size(), before + 5);
    Tick();
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 connected");
}

TEST_F(Monitor, KeepAliveOnceASecondWhileConnected) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Boot.BootloaderReady);
    const std::size_t before = device.Frames.size();
    Tick(30);
    EXPECT_EQ(device.Frames.size(), before + 3);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 4u);

    // A failing keep-alive leaves the device connected.
    device.SwitchOn(TDeviceMode::Application);
    Tick(20);
    EXPECT_TRUE(Boot.BootloaderReady);
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 connected");
}

TEST_F(Monitor, NoKeepAliveBetweenTheFramesOfARunningUpdate) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Boot.BootloaderReady);
    device.Frames.clear();

    // The update's loop lets the timers run after every block.
    State.UpdateRunning = true;
    TRequestBuffer request{};
    ASSERT_TRUE(Boot.SendSimpleRequest(CmdBeginUpdate));
    BuildRangeRequest(request, CmdPrepareRange, Boot.Values.PageCount);
    ASSERT_TRUE(Boot.TransferFrame(request));
    const TByteVector image = MakeFirmwareImage(124 * 512, "4.0a");
    BuildWriteBlockHeader(request);
    for (std::uint32_t k = 0; k < 124; ++k) {
        SetWriteBlock(request, k * BlockSize, image.data() + k * BlockSize);
        ASSERT_TRUE(Boot.TransferFrame(request));
        Tick();
    }
    BuildRangeRequest(request, CmdFinishRange, Boot.Values.PageCount);
    ASSERT_TRUE(Boot.TransferFrame(request));
    ASSERT_TRUE(Boot.SendSimpleRequest(CmdEndUpdate));
    State.UpdateRunning = false;

    EXPECT_EQ(device.Frames.size(), 128u);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 0u);
    EXPECT_EQ(device.Bootloader.Flash(), image);
    Tick(10);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 1u) << "back once the update is over";
}

TEST_F(Monitor, TheFirstOfTwoDevicesIsUsed) {
    Bus.AddDevice("FT232R USB UART").SwitchOn(TDeviceMode::Application);
    TVirtualDevice& first = Plug(TBootloaderConfig::VariantB());
    TVirtualDevice& second = Plug(TBootloaderConfig::VariantA());
    Tick(5);
    EXPECT_EQ(Link.DeviceIndex, 1);
    EXPECT_EQ(View().LQORBootldrVersion.Text, "1.3b");
    EXPECT_EQ(first.Frames.size(), 5u);
    EXPECT_TRUE(second.Frames.empty());
    EXPECT_TRUE(Bus.Device(0).Frames.empty());
}

TEST_F(Monitor, NearMissDescriptionsAreNotRecognised) {
    Bus.AddDevice("qor 7316");
    Bus.AddDevice("QOR 7316 ");
    Tick(5);
    EXPECT_EQ(Link.DeviceIndex, -1);
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 not connected");
    EXPECT_EQ(Bus.OpenHandleCount(), 0u);
}

TEST_F(Monitor, ADeviceThatCannotBeOpenedStaysInConnecting) {
    TVirtualDevice& device = Plug();
    device.OpenRefusal = "Held by another program";
    Tick(10);
    EXPECT_EQ(View().LQORStatus.Text.rfind("Connect", 0), 0u);
    EXPECT_EQ(Link.FtHandle, 0u);
    EXPECT_TRUE(device.Frames.empty());
    EXPECT_EQ(Link.LastOpenError(), "Held by another program");
    EXPECT_EQ(Bus.Clock().NowUs(), 0u) << "queries without a handle fail at once";

    device.OpenRefusal.clear();
    Tick(3);
    EXPECT_TRUE(Boot.BootloaderReady);
}

TEST_F(Monitor, TextsFollowTheLanguageOnEveryTick) {
    Language = LangGerman;
    Tick();
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 nicht verbunden");
    Plug();
    State.AnimCounter = 19;
    Tick();
    EXPECT_EQ(View().LQORStatus.Text, "Verbinde..");
    Tick(3);
    Language = LangFrench;
    Tick();
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 connecté");
    EXPECT_EQ(View().LQORChecksum.Text, "valide");
    Language = 200; // read as English
    Tick();
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 connected");
}
