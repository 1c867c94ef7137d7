#include "device/D2xxPort.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "base/TextTable.h"
#include "device/ConnectionMonitor.h"
#include "device/DeviceLink.h"
#include "presenter/MainPresenter.h"
#include "qortest/RecordingMessageBox.h"
#include "sim/SampleImage.h"

namespace qor {
namespace {

using ::testing::HasSubstr;

// Read by the stand-in FTD2XX.dll beside this program when it is loaded.
constexpr const char* StandInDevices = "QOR_STANDIN_DEVICES";

class TCountingHost : public IUpdateHost {
public:
    void ProcessMessages() override { ++Pumps; }
    int Pumps = 0;
};

class D2xxPortTest : public ::testing::Test {
protected:
    ~D2xxPortTest() override { ::SetEnvironmentVariableA(StandInDevices, nullptr); }

    // Lays out the stand-in's bus, then loads the library the way the program does.
    void Plug(const char* devices) {
        ::SetEnvironmentVariableA(StandInDevices, devices);
        Port = std::make_unique<TD2xxPort>();
        ASSERT_TRUE(Port->Loaded()) << Port->LoadError();
        Monitor = std::make_unique<TConnectionMonitor>(*Port);
    }

    std::vector<std::string> Descriptions() {
        std::vector<std::string> names;
        for (const TPortEntry& entry : Port->List()) {
            names.push_back(entry.Description);
        }
        return names;
    }

    std::unique_ptr<TD2xxPort> Port;
    std::unique_ptr<TConnectionMonitor> Monitor;
};

TEST_F(D2xxPortTest, WithoutTheLibraryThereIsNoDeviceAndNothingFails) {
    TD2xxPort port("qor-no-such-d2xx.dll");
    EXPECT_FALSE(port.Loaded());
    EXPECT_THAT(port.LoadError(), HasSubstr("qor-no-such-d2xx.dll"));
    EXPECT_TRUE(port.List().empty());
    TDeviceLink link(port);
    (void)link.Upkeep();
    EXPECT_EQ(link.DeviceIndex(), -1);
    EXPECT_EQ(link.Connection(), nullptr);
}

TEST_F(D2xxPortTest, ALibraryLackingAnEntryPointCountsAsNoLibrary) {
    TD2xxPort port("ftd2xx-incomplete.dll");
    EXPECT_FALSE(port.Loaded());
    EXPECT_THAT(port.LoadError(), HasSubstr("lacks an entry point"));
    TDeviceLink link(port);
    EXPECT_FALSE(link.FindDevice());
}

// Without a usable library the window's status tooltip says which one is missing and what
// installs it; with the library and no device it says nothing.
TEST_F(D2xxPortTest, TheStatusTooltipNamesAMissingLibraryAndWhatToInstall) {
    struct TCase {
        const char* Library;
        const char* Tip; // "" for none
    } const cases[] = {
        {"qor-no-such-d2xx.dll", "qor-no-such-d2xx.dll is not installed: install the D2XX driver"},
        {"ftd2xx-incomplete.dll", "ftd2xx-incomplete.dll is too old or damaged: install the D2XX"},
        {TD2xxPort::LibraryName, ""},
    };
    ::SetEnvironmentVariableA(StandInDevices, "");
    for (const TCase& c : cases) {
        TD2xxPort port(c.Library);
        test::TRecordingMessageBox messages;
        TSettings settings;
        TMainPresenter presenter(port, messages, settings);
        presenter.SerialTick();
        if (*c.Tip == '\0') {
            EXPECT_EQ(presenter.View().LQORStatusTip, "") << c.Library;
        } else {
            EXPECT_THAT(presenter.View().LQORStatusTip, HasSubstr(c.Tip)) << c.Library;
        }
    }
}

TEST_F(D2xxPortTest, TheDeviceIsFoundByItsExactDescriptionAmongOtherBridges) {
    ASSERT_NO_FATAL_FAILURE(Plug("FT232R USB UART|app;qor 7316;QOR 7316 ;QOR 7316|b;QOR 7316"));

    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"FT232R USB UART", "qor 7316", "QOR 7316 ",
                                                        "QOR 7316", "QOR 7316"}));
    TDeviceLink& link = Monitor->Link();
    const auto kept = link.Upkeep();
    EXPECT_EQ(link.DeviceIndex(), 3);
    EXPECT_NE(link.Connection(), nullptr);
    EXPECT_TRUE(kept.Ok());
}

// The unit's identity is the serial number in the library's list; a device without one is
// named by its place on the bus and still found and told apart.
TEST_F(D2xxPortTest, EachDeviceCarriesTheSerialNumberOfTheLibrarysList) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316;QOR 7316|b|serial=FT7316B2;QOR 7316|serial="));
    const std::vector<TPortEntry> listed = Port->List();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].Serial, "VQ731600");
    EXPECT_EQ(listed[1].Serial, "FT7316B2");
    EXPECT_EQ(listed[1].Name, "FT7316B2");
    EXPECT_EQ(listed[2].Serial, "");
    EXPECT_EQ(listed[2].Name, "loc-1002");

    TDeviceLink byPlace(*Port);
    byPlace.ChoosePort("loc-1002");
    EXPECT_TRUE(byPlace.Upkeep().Ok());
    EXPECT_EQ(byPlace.DeviceIndex(), 2);
    EXPECT_NE(byPlace.Connection(), nullptr);
    TDeviceLink bySerial(*Port);
    bySerial.ChooseSerials({"FT7316B2"});
    EXPECT_TRUE(bySerial.Upkeep().Ok());
    EXPECT_EQ(bySerial.DeviceIndex(), 1);
    EXPECT_EQ(bySerial.PortName(), "FT7316B2");
}

TEST_F(D2xxPortTest, TheLibraryOpensADeviceForOneProgramAtATime) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316"));
    ASSERT_EQ(Port->List().size(), 1u);
    auto held = Port->Open(0, 500000);
    ASSERT_TRUE(held.Ok()) << held.Error().Reason;
    // A second open of the same device is refused by the library itself, so no lock of our
    // own is needed on this system.
    TD2xxPort other;
    ASSERT_EQ(other.List().size(), 1u);
    const auto refused = other.Open(0, 500000);
    ASSERT_FALSE(refused.Ok());
    EXPECT_THAT(refused.Error().Reason, HasSubstr("another program"));
    held.Value().reset();
    EXPECT_TRUE(other.Open(0, 500000).Ok());
}

TEST_F(D2xxPortTest, OpeningSetsTheBridgesLatencyTimerAsLowAsItGoes) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316"));
    ASSERT_EQ(Port->List().size(), 1u);
    auto opened = Port->Open(0, 500000);
    ASSERT_TRUE(opened.Ok()) << opened.Error().Reason;
    // The stand-in's own report of what the library was told, by name beside its ordinals.
    using TLatencies = ULONG(WINAPI*)(UCHAR*, ULONG);
    const auto latencies = reinterpret_cast<TLatencies>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("FTD2XX.dll"), "StandInOpenLatencies")));
    ASSERT_NE(latencies, nullptr);
    UCHAR ms[4] = {};
    ASSERT_EQ(latencies(ms, 4), 1u);
    EXPECT_EQ(ms[0], 1) << "the library's default is 16 ms";
}

TEST_F(D2xxPortTest, TheFullBootloaderQueryRunsThroughTheLibrary) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316|b"));
    (void)Monitor->Link().Upkeep();
    ASSERT_NE(Monitor->Link().Connection(), nullptr);

    ASSERT_TRUE(Monitor->QueryBootloader());

    const TDeviceInfo& info = Monitor->Info();
    EXPECT_EQ(info.BootVersion, (TBootVersion{1, 3}));
    EXPECT_EQ(info.PageSize, 1024U);
    EXPECT_EQ(info.PageCount, 126U);
    EXPECT_TRUE(info.ChecksumValid());
    EXPECT_TRUE(Monitor->BootloaderReady());
}

TEST_F(D2xxPortTest, ADeviceRunningItsApplicationOpensButDoesNotAnswer) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316|app"));
    (void)Monitor->Link().Upkeep();
    EXPECT_NE(Monitor->Link().Connection(), nullptr);
    EXPECT_FALSE(Monitor->QueryBootloader());
    EXPECT_FALSE(Monitor->BootloaderReady());
}

TEST_F(D2xxPortTest, AnUpdateIsWrittenThroughTheLibraryAndChecked) {
    ::SetEnvironmentVariableA(StandInDevices, "QOR 7316|a");
    TD2xxPort port;
    ASSERT_TRUE(port.Loaded());
    test::TRecordingMessageBox messages;
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TMainPresenter presenter(port, messages, settings);
    for (int tick = 0; tick < 10 && !presenter.BootloaderReady(); ++tick) {
        presenter.SerialTick();
        presenter.DisplayTick();
    }
    ASSERT_TRUE(presenter.BootloaderReady());
    presenter.SerialTick();
    ASSERT_EQ(presenter.DeviceVariant(), TVariantKind::A);
    // A whole variant-a flash: 124 blocks of 512 bytes.
    ASSERT_TRUE(presenter.AcceptDownload(
        TDownloadedImage{MakeFirmwareImage(63488, "102a"), "test", "qor-7316.bin"}));
    TCountingHost host;

    EXPECT_EQ(presenter.Update(host).Result, TUpdateResult::Succeeded);

    EXPECT_EQ(host.Pumps, 130);
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_TRUE(presenter.State().UpdateSucceeded);
    EXPECT_EQ(presenter.Device().Info().DeviceFWVersion, "102a");
    EXPECT_TRUE(presenter.Device().Info().ChecksumValid());
}

} // namespace
} // namespace qor
