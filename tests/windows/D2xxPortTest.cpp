#include "device/D2xxPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "base/TextTable.h"
#include "device/Bootloader.h"
#include "device/ConnectionMonitor.h"
#include "device/DeviceLink.h"
#include "device/DisplayRefresh.h"
#include "device/UpdateProcedure.h"
#include "firmware/FirmwareImage.h"
#include "sim/SimFrames.h"
#include "support/RecordingMessageBox.h"

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
        Link = std::make_unique<TDeviceLink>(*Port);
        Boot = std::make_unique<TBootloader>(*Link);
    }

    std::vector<std::string> Descriptions() {
        std::uint32_t count = 0;
        Port->CreateDeviceInfoList(&count);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        EXPECT_EQ(Port->GetDeviceInfoList(nodes.data(), &count), FT_OK);
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < count; ++i) {
            names.emplace_back(nodes[i].Description);
        }
        return names;
    }

    std::unique_ptr<TD2xxPort> Port;
    std::unique_ptr<TDeviceLink> Link;
    std::unique_ptr<TBootloader> Boot;
};

TEST_F(D2xxPortTest, WithoutTheLibraryThereIsNoDeviceAndNothingFails) {
    TD2xxPort port("qor-no-such-d2xx.dll");
    EXPECT_FALSE(port.Loaded());
    EXPECT_THAT(port.LoadError(), HasSubstr("qor-no-such-d2xx.dll"));

    std::uint32_t count = 99;
    port.CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 0U);
    TDeviceLink link(port);
    link.Upkeep(); // also closes handle 0, as every tick without a device does
    EXPECT_EQ(link.DeviceIndex, -1);
    EXPECT_EQ(link.FtHandle, 0U);
}

TEST_F(D2xxPortTest, ALibraryLackingAnEntryPointCountsAsNoLibrary) {
    TD2xxPort port("ftd2xx-incomplete.dll");
    EXPECT_FALSE(port.Loaded());
    EXPECT_THAT(port.LoadError(), HasSubstr("lacks an entry point"));
    TDeviceLink link(port);
    EXPECT_FALSE(link.FindDevice());
}

TEST_F(D2xxPortTest, TheDeviceIsFoundByItsExactDescriptionAmongOtherBridges) {
    ASSERT_NO_FATAL_FAILURE(Plug("FT232R USB UART|app;qor 7316;QOR 7316 ;QOR 7316|b;QOR 7316"));

    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"FT232R USB UART", "qor 7316", "QOR 7316 ",
                                                        "QOR 7316", "QOR 7316"}));
    Link->Upkeep();
    EXPECT_EQ(Link->DeviceIndex, 3);
    EXPECT_NE(Link->FtHandle, 0U);
    EXPECT_EQ(Link->LastOpenError(), "");
}

TEST_F(D2xxPortTest, TheFullBootloaderQueryRunsThroughTheLibrary) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316|b"));
    Link->Upkeep();
    ASSERT_NE(Link->FtHandle, 0U);

    ASSERT_TRUE(Boot->QueryBootloader());

    EXPECT_EQ(Boot->Values.BootVersionMajor, 1U);
    EXPECT_EQ(Boot->Values.BootVersionMinor, 3U);
    EXPECT_EQ(Boot->Values.PageSize, 1024U);
    EXPECT_EQ(Boot->Values.PageCount, 126U);
    EXPECT_EQ(Boot->Values.DeviceChecksum1, Boot->Values.DeviceChecksum2);
    EXPECT_TRUE(Boot->BootloaderReady);
}

TEST_F(D2xxPortTest, ADeviceRunningItsApplicationOpensButDoesNotAnswer) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316|app"));
    Link->Upkeep();
    EXPECT_NE(Link->FtHandle, 0U);
    EXPECT_FALSE(Boot->QueryBootloader());
    EXPECT_FALSE(Boot->BootloaderReady);
}

TEST_F(D2xxPortTest, AnUpdateIsWrittenThroughTheLibraryAndChecked) {
    ASSERT_NO_FATAL_FAILURE(Plug("QOR 7316|a"));
    TMainState state;
    for (int tick = 0; tick < 10 && !Boot->BootloaderReady; ++tick) {
        SerialTimerTick(state, *Link, *Boot, LangEnglish);
        DisplayTimerTick(state, Boot->BootloaderReady, LangEnglish);
    }
    ASSERT_TRUE(Boot->BootloaderReady);
    ASSERT_EQ(state.DeviceVariant, 0);
    // A whole variant-a flash: 124 blocks of 512 bytes.
    const TByteVector image = MakeFirmwareImage(63488, "102a");
    const TFirmwareFile file{std::make_shared<const std::vector<std::uint8_t>>(image),
                             TFirmwareFileError::None, 0};
    ASSERT_TRUE(LoadFirmwareFile(file, state));
    TCountingHost host;
    test::TRecordingMessageBox messages;

    EXPECT_EQ(BFlashClick(state, *Link, *Boot, host, messages), TUpdateOutcome::Succeeded);

    EXPECT_EQ(host.Pumps, 125);
    EXPECT_TRUE(messages.Shown.empty());
    EXPECT_TRUE(state.UpdateSucceeded);
    EXPECT_EQ(Boot->Values.DeviceFWVersion, "102a");
    EXPECT_EQ(Boot->Values.DeviceChecksum1, Boot->Values.DeviceChecksum2);
}

} // namespace
} // namespace qor
