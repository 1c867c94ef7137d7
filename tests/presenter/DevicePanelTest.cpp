#include <gtest/gtest.h>

#include <memory>

#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/Protocol.h"
#include "firmware/FirmwareImage.h"
#include "presenter/DevicePanel.h"
#include "presenter/MainPresenter.h"
#include "qortest/RecordingMessageBox.h"
#include "sim/SampleImage.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The monitor over the virtual bus, one 100 ms step at a time: the display timer's share of
// the counters first, then the serial tick.
class DevicePanel : public ::testing::Test {
protected:
    TVirtualBus Bus;
    TConnectionMonitor Monitor{Bus};
    TMainModel State;
    std::uint8_t Language = LangEnglish;
    int Ticks = 0;

    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (State.BlinkCountdown > 0) {
                --State.BlinkCountdown;
            }
            State.AnimCounter = (State.AnimCounter + 1) % 40;
            SerialTick();
            ++Ticks;
        }
    }

    TMainView& View() { return State.View; }

    void SerialTick() { ShowDeviceStatus(State, Monitor.Tick(State.UpdateRunning), Language); }

    TVirtualDevice& Plug(const TBootloaderConfig& config = {}) {
        return Bus.AddDevice("QOR 7316", config);
    }

    void LoadImage() {
        State.FWImage = ParseFirmwareImage(MakeFirmwareImage(63488, "1.0a")).Value();
    }

    void ExpectUnknownValues() {
        EXPECT_EQ(View().LQORBootldrVersion.Text, "-- / --");
        EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
        EXPECT_EQ(View().LQORChecksum, (TLabelView{"-- / --", TColour::WindowText}));
    }
};

} // namespace

TEST_F(DevicePanel, WithoutADeviceItShowsNotConnectedAndBlinks) {
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
    EXPECT_FALSE(State.FWLoaded());
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
}

TEST_F(DevicePanel, AnApplicationStaysInConnectingAndEachQueryStopsAtItsFirstRequest) {
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
    EXPECT_FALSE(Monitor.BootloaderReady());
    EXPECT_EQ(Monitor.PollTicksLeft(), PollReload);
    ExpectUnknownValues();
    // Each failing query waits out only the short first time-out.
    EXPECT_EQ(Bus.Clock().NowUs(), 4 * 100000u);
}

TEST_F(DevicePanel, ConnectingShowsOneDotPerSecondAndBlinksTheSearchImage) {
    Plug().SwitchOn(TDeviceMode::Application);
    const struct {
        std::uint32_t Anim;
        const char* Text;
    } cases[] = {
        {0, "Connect"}, {9, "Connect"}, {10, "Connect."}, {25, "Connect.."}, {39, "Connect..."}};
    for (const auto& c : cases) {
        State.AnimCounter = c.Anim;
        SerialTick();
        EXPECT_EQ(View().LQORStatus.Text, c.Text);
    }
    State.BlinkCountdown = 0;
    View().ImgNotConnected = true;
    View().ImgFlash = true;
    SerialTick();
    EXPECT_TRUE(View().ImgSearch);
    EXPECT_FALSE(View().ImgNotConnected);
    EXPECT_FALSE(View().ImgFlash);
    EXPECT_EQ(State.BlinkCountdown, BlinkReload);
}

TEST_F(DevicePanel, VariantsShowTheirLetter) {
    const struct {
        TBootloaderConfig Config;
        const char* Version;
        TVariantKind Variant;
    } cases[] = {{TBootloaderConfig::VariantA(), "1.3a", TVariantKind::A},
                 {TBootloaderConfig::VariantB(), "1.3b", TVariantKind::B},
                 {{PageSizeCode256, 124}, "1.3", TVariantKind::Other},
                 {{PageSizeCode512, 126}, "1.3", TVariantKind::Other},
                 {{PageSizeCode1024, 124, 2, 10}, "2.10", TVariantKind::Other}};
    for (const auto& c : cases) {
        TVirtualBus bus;
        bus.AddDevice("QOR 7316", c.Config);
        TConnectionMonitor monitor(bus);
        TMainModel state;
        state.DeviceVariant = static_cast<TVariantKind>(7); // none of the three
        for (int i = 0; i < 5; ++i) {
            ShowDeviceStatus(state, monitor.Tick(false), LangEnglish);
        }
        EXPECT_EQ(state.View.LQORStatus, (TLabelView{"QOR 7316 connected", TColour::Green}));
        EXPECT_EQ(state.View.LQORBootldrVersion.Text, c.Version);
        EXPECT_EQ(state.DeviceVariant, c.Variant) << c.Version;
        EXPECT_EQ(state.View.LQORChecksum, (TLabelView{"valid", TColour::Green}));
    }
}

TEST_F(DevicePanel, ConnectedShowsTheFirmwareVersionOnlyForAgreeingChecksums) {
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
    Monitor.Info().DeviceChecksums->Second ^= 1;
    SerialTick();
    EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
    EXPECT_TRUE(View().BFlash);
    EXPECT_TRUE(View().BSwitchOff);
}

TEST_F(DevicePanel, AnImageShorterThanTheFlashIsShownInvalid) {
    Plug().Bootloader.LoadFlash(MakeFirmwareImage(50000, "1.0a"));
    Tick(5);
    ASSERT_TRUE(Monitor.BootloaderReady());
    EXPECT_EQ(View().LQORFWVersion.Text, "-- / --");
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
}

TEST_F(DevicePanel, EqualChecksumsWithoutAValidPageSizeAreInvalid) {
    TVirtualDevice& device = Plug({3, 124}); // page-size code 3 is not a size
    Tick(5);
    ASSERT_TRUE(Monitor.BootloaderReady());
    EXPECT_EQ(device.Bootloader.Checksum1(), device.Bootloader.Checksum2());
    EXPECT_EQ(Monitor.Info().PageSize, std::nullopt);
    EXPECT_EQ(View().LQORChecksum, (TLabelView{"invalid", TColour::Maroon}));
    EXPECT_EQ(State.DeviceVariant, TVariantKind::Other);
}

TEST_F(DevicePanel, UnpluggingIsNoticedWithinOneTickAndDropsTheImage) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Monitor.BootloaderReady());
    LoadImage();
    View().BFlash = true;
    View().BSwitchOff = true;
    const TFirmwareImage updateHolds = *State.FWImage; // an update in progress keeps its bytes

    device.Unplug();
    Tick();
    EXPECT_EQ(View().LQORStatus, (TLabelView{"QOR 7316 not connected", TColour::Maroon}));
    ExpectUnknownValues();
    EXPECT_FALSE(View().BFlash);
    EXPECT_FALSE(View().BSwitchOff);
    EXPECT_FALSE(Monitor.BootloaderReady());
    EXPECT_FALSE(State.FWLoaded());
    EXPECT_EQ(updateHolds.Size(), 63488u);
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
    EXPECT_EQ(Bus.OpenConnectionCount(), 0u);
    EXPECT_EQ(Monitor.Info(), TDeviceInfo{}) << "a device that went decides nothing";

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

TEST_F(DevicePanel, KeepAliveOnceASecondWhileConnected) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Monitor.BootloaderReady());
    const std::size_t before = device.Frames.size();
    Tick(30);
    EXPECT_EQ(device.Frames.size(), before + 3);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 4u);

    // A failing keep-alive leaves the device connected.
    device.SwitchOn(TDeviceMode::Application);
    Tick(20);
    EXPECT_TRUE(Monitor.BootloaderReady());
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 connected");
}

TEST_F(DevicePanel, NoKeepAliveBetweenTheFramesOfARunningUpdate) {
    TVirtualDevice& device = Plug();
    Tick(5);
    ASSERT_TRUE(Monitor.BootloaderReady());
    device.Frames.clear();

    // The update's loop lets the timers run after every block.
    State.UpdateRunning = true;
    TBootloaderClient& client = Monitor.Bootloader();
    ASSERT_TRUE(client.BeginUpdate().Ok());
    ASSERT_TRUE(client.PrepareRange(*Monitor.Info().PageCount).Ok());
    const TByteVector image = MakeFirmwareImage(124 * 512, "4.0a");
    for (std::uint32_t k = 0; k < 124; ++k) {
        ASSERT_TRUE(
            client.WriteBlock(k * BlockSize, std::span(image).subspan(k * BlockSize, BlockSize))
                .Ok());
        Tick();
    }
    ASSERT_TRUE(client.FinishRange(*Monitor.Info().PageCount).Ok());
    ASSERT_TRUE(client.EndUpdate().Ok());
    State.UpdateRunning = false;

    EXPECT_EQ(device.Frames.size(), 128u);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 0u);
    EXPECT_EQ(device.Bootloader.Flash(), image);
    Tick(10);
    EXPECT_EQ(device.FrameCount(CmdGetBootVersion), 1u) << "back once the update is over";
}

TEST_F(DevicePanel, TheFirstOfTwoDevicesIsUsed) {
    Bus.AddDevice("FT232R USB UART").SwitchOn(TDeviceMode::Application);
    TVirtualDevice& first = Plug(TBootloaderConfig::VariantB());
    TVirtualDevice& second = Plug(TBootloaderConfig::VariantA());
    Tick(5);
    EXPECT_EQ(Monitor.Link().DeviceIndex(), 1);
    EXPECT_EQ(View().LQORBootldrVersion.Text, "1.3b");
    EXPECT_EQ(first.Frames.size(), 5u);
    EXPECT_TRUE(second.Frames.empty());
    EXPECT_TRUE(Bus.Device(0).Frames.empty());
}

TEST_F(DevicePanel, NearMissDescriptionsAreNotRecognised) {
    Bus.AddDevice("qor 7316");
    Bus.AddDevice("QOR 7316 ");
    Tick(5);
    EXPECT_EQ(Monitor.Link().DeviceIndex(), -1);
    EXPECT_EQ(View().LQORStatus.Text, "QOR 7316 not connected");
    EXPECT_EQ(Bus.OpenConnectionCount(), 0u);
}

TEST_F(DevicePanel, ADeviceThatCannotBeOpenedStaysInConnecting) {
    TVirtualDevice& device = Plug();
    device.OpenRefusal = "Held by another program";
    Tick(10);
    EXPECT_EQ(View().LQORStatus.Text.rfind("Connect", 0), 0u);
    EXPECT_EQ(Monitor.Link().Connection(), nullptr);
    EXPECT_TRUE(device.Frames.empty());
    EXPECT_EQ(Monitor.Tick(false).OpenError, "Held by another program");
    EXPECT_EQ(Bus.Clock().NowUs(), 0u) << "queries without a connection fail at once";

    device.OpenRefusal.clear();
    Tick(3);
    EXPECT_TRUE(Monitor.BootloaderReady());
}

TEST_F(DevicePanel, TextsFollowTheLanguageOnEveryTick) {
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

// The status line's tooltip says why a device does not connect, or which unit a connected one
// is and what it did not report; never that a bootloader which answered does not answer.
TEST(StatusTip, NamesWhatHappened) {
    TFault refusedPageSize = TFault::OnCode(CmdGetPageSize, TFaultKind::AnswerCode13);
    refusedPageSize.Repeat = true;
    TBootloaderConfig noApplication = TBootloaderConfig::VariantA();
    noApplication.NoApplication = true;
    const struct {
        TBootloaderConfig Config;
        std::optional<TFault> Fault;
        TDeviceMode Mode;
        const char* Tip;
    } cases[] = {
        {TBootloaderConfig::VariantA(), std::nullopt, TDeviceMode::Bootloader,
         "port VQ0, serial VQ731600"},
        {TBootloaderConfig::VariantA(), std::nullopt, TDeviceMode::Application, ""},
        {TBootloaderConfig::VariantA(), refusedPageSize, TDeviceMode::Bootloader,
         "The bootloader answered, but the page-size request failed: refused with code 13"},
        {noApplication, std::nullopt, TDeviceMode::Bootloader,
         "port VQ0, serial VQ731600\nThe device did not report its firmware version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tip);
        TVirtualBus bus;
        TVirtualDevice& device = bus.AddDevice("QOR 7316", c.Config);
        device.SwitchOn(c.Mode);
        if (c.Fault) {
            device.Faults.Add(*c.Fault);
        }
        test::TRecordingMessageBox messages;
        TSettings settings;
        TMainPresenter presenter(bus, messages, settings);
        for (int tick = 0; tick < 8; ++tick) {
            presenter.SerialTick();
        }
        EXPECT_EQ(presenter.View().LQORStatusTip, c.Tip);
    }
}
