// The demo's rig under the window's core: the device it starts with, swapping variants, the
// server's images written into the device, and injected faults, all without a display.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "base/Settings.h"
#include "base/TextTable.h"
#include "demo/DemoOptions.h"
#include "demo/DemoRig.h"
#include "device/Protocol.h"
#include "firmware/FirmwareImage.h"
#include "presenter/MainPresenter.h"
#include "qortest/Environment.h"
#include "qortest/HttpClient.h"
#include "qortest/RecordingMessageBox.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

class TDisplayHost : public IUpdateHost {
public:
    explicit TDisplayHost(std::function<void()> pump) : Pump(std::move(pump)) {}
    void ProcessMessages() override { Pump(); }

private:
    std::function<void()> Pump;
};

class DemoRigTest : public ::testing::Test {
protected:
    // No wire timing: the steady clock then only waits where a reply never comes.
    DemoRigTest() : Rig(TDemoOptions{false, 0}) {}

    void Timers() {
        Presenter.SerialTick();
        Presenter.DisplayTick();
    }
    bool ConnectWithin(int ticks) {
        for (int i = 0; i < ticks && !Presenter.BootloaderReady(); ++i) {
            Timers();
        }
        Timers(); // the Connected branch fills the panel on the tick after the query
        return Presenter.BootloaderReady();
    }
    TUpdateResult UpdateWith(const std::vector<std::uint8_t>& image) {
        EXPECT_TRUE(
            Presenter.AcceptDownload(TDownloadedImage{image, "the demo's server", "qor-7316.bin"}));
        TDisplayHost host([this] { Presenter.DisplayTick(); });
        return Presenter.Update(host).Result;
    }

    TDemoRig Rig;
    TRecordingMessageBox Messages;
    TSettings Settings = [] {
        TSettings english;
        english.CfgLanguage = LangEnglish;
        return english;
    }();
    TMainPresenter Presenter{Rig.Port(), Messages, Settings};
    const TMainModel& State = Presenter.State();
};

TEST_F(DemoRigTest, StartsPluggedInInBootloaderModeSoTheRoadStartsAtOnce) {
    ASSERT_TRUE(ConnectWithin(5));
    EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 connected");
    EXPECT_EQ(State.View.LQORBootldrVersion.Text, "1.3a");
    EXPECT_EQ(State.View.LQORFWVersion.Text, "1.0a");
    EXPECT_EQ(State.DeviceVariant, TVariantKind::A);
    EXPECT_NE(Rig.DeviceStateText().find("bootloader"), std::string::npos);
}

TEST_F(DemoRigTest, SwappingTheVariantShowsTheDeviceGoneUntilPluggedInAgain) {
    ASSERT_TRUE(ConnectWithin(5));
    for (const auto& [variant, shown, code] :
         {std::tuple{TDemoVariant::B, "1.3b", TVariantKind::B},
          std::tuple{TDemoVariant::Other, "1.3", TVariantKind::Other},
          std::tuple{TDemoVariant::A, "1.3a", TVariantKind::A}}) {
        EXPECT_TRUE(Rig.SwapVariant(variant));
        Timers();
        EXPECT_EQ(State.View.LQORStatus.Text, "QOR 7316 not connected");
        Rig.Plug();
        ASSERT_TRUE(ConnectWithin(8)) << shown;
        EXPECT_EQ(State.View.LQORBootldrVersion.Text, shown);
        EXPECT_EQ(State.DeviceVariant, code);
    }
    Rig.Unplug();
    EXPECT_FALSE(Rig.SwapVariant(TDemoVariant::B)); // nothing to plug back in
    EXPECT_FALSE(Rig.Device().Plugged());
}

TEST_F(DemoRigTest, TheBootloadersReplyCodesStayWhenTheVariantIsSwapped) {
    Rig.SetAckCode(12);
    Rig.SetVersionReplyCode(3);
    Rig.SwapVariant(TDemoVariant::B);
    Timers();
    Rig.Plug();
    ASSERT_TRUE(ConnectWithin(8));
    EXPECT_EQ(Rig.AckCode(), 12);
    EXPECT_EQ(Rig.VersionReplyCode(), 3);
    const TByteVector image = MakeSampleImage({TImageVariant::B, "1.4b", std::nullopt});
    EXPECT_EQ(UpdateWith(image), TUpdateResult::Succeeded);
    EXPECT_EQ(Rig.Device().Bootloader.Flash(), image);
}

TEST_F(DemoRigTest, TheServersImagesUpdateEitherVariantToSuccess) {
    const auto started = Rig.StartServer();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    for (const auto& [variant, letter] :
         {std::pair{TDemoVariant::A, 'a'}, std::pair{TDemoVariant::B, 'b'}}) {
        Rig.SwapVariant(variant);
        Timers(); // the window sees the old device go before the new one comes
        Rig.Plug();
        ASSERT_TRUE(ConnectWithin(10));
        const THttpReply reply = Get(Rig.ServerPort(), std::string("/qor-7316-") + letter + ".bin");
        ASSERT_EQ(reply.StatusLine, "HTTP/1.1 200 OK");
        EXPECT_TRUE(ParseFirmwareImage(reply.Body).Ok());

        EXPECT_EQ(UpdateWith(reply.Body), TUpdateResult::Succeeded) << letter;
        EXPECT_EQ(Presenter.Device().Info().DeviceFWVersion,
                  std::string(DemoServerVersion) + letter);
        EXPECT_EQ(Rig.Device().Bootloader.Checksum1(), Rig.Device().Bootloader.Checksum2());
        EXPECT_TRUE(Messages.Shown.empty());
    }
}

TEST_F(DemoRigTest, AnInjectedFaultFailsTheRequestItWasMeantFor) {
    ASSERT_TRUE(ConnectWithin(5));
    const auto recipe = NormaliseRecipe({TImageVariant::A, "1.4a", std::nullopt});
    ASSERT_TRUE(recipe.Ok()) << recipe.Error().Reason;
    const TByteVector image = MakeSampleImage(*recipe);

    Rig.InjectFault({TFaultKind::AnswerCode13, CmdWriteBlock, 17u, 0});
    EXPECT_EQ(Rig.PendingFaults(), 1u);
    EXPECT_EQ(UpdateWith(image), TUpdateResult::Failed);
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Text, "Update fehlgeschlagen: 2:17");
    EXPECT_EQ(Rig.PendingFaults(), 0u);

    Rig.InjectFault({TFaultKind::CorruptCrc, CmdBeginUpdate, std::nullopt, 0});
    EXPECT_EQ(UpdateWith(image), TUpdateResult::Failed);
    ASSERT_EQ(Messages.Shown.size(), 2u);
    EXPECT_EQ(Messages.Shown[1].Text, "Update fehlgeschlagen: 0");

    Rig.InjectFault({TFaultKind::Unplug, CmdWriteBlock, std::nullopt, 0});
    Rig.ClearFaults();
    EXPECT_EQ(UpdateWith(image), TUpdateResult::Succeeded);
}

TEST_F(DemoRigTest, TheStateLineFollowsCableAndPower) {
    Rig.SwitchOn(TDeviceMode::Application);
    EXPECT_NE(Rig.DeviceStateText().find("application running"), std::string::npos);
    Rig.SwitchOff();
    EXPECT_NE(Rig.DeviceStateText().find("switched off"), std::string::npos);
    Rig.Unplug();
    EXPECT_EQ(Rig.DeviceStateText().rfind("Unplugged", 0), 0u);
    Rig.Device().Bootloader.LoadFlash({}); // as a prepared range leaves it
    EXPECT_NE(Rig.DeviceStateText().find("Firmware erased, no application (checksums differ)"),
              std::string::npos);
}

TEST(DemoFaultChoices, OfferEveryKindOfTheFaultPlanOnce) {
    std::set<TFaultKind> kinds;
    for (const TFaultKindInfo& info : DemoFaultKinds()) {
        EXPECT_TRUE(kinds.insert(info.Kind).second) << info.Name;
    }
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(TFaultKind::Unplug) + 1);
    std::set<std::uint8_t> codes;
    for (const auto& request : DemoFaultRequests()) {
        EXPECT_TRUE(codes.insert(request.Value).second) << request.Name;
    }
    EXPECT_EQ(codes.size(), 11u); // every request code the updater sends
}

TEST(DemoCommandLine, TakesTurnaroundWireTimingAndThePort) {
    const auto line =
        ParseDemoCommandLine({"--turnaround-ms", "40", "--no-wire-timing", "--system-port"});
    ASSERT_TRUE(line.Ok()) << line.Error().Reason;
    EXPECT_EQ(line->Rig.TurnaroundMs, 40u);
    EXPECT_FALSE(line->Rig.WireTiming);
    EXPECT_TRUE(line->SystemPort);
    const auto defaults = ParseDemoCommandLine({});
    ASSERT_TRUE(defaults.Ok()) << defaults.Error().Reason;
    EXPECT_TRUE(defaults->Rig.WireTiming);
    EXPECT_EQ(defaults->Rig.TurnaroundMs, 10u);
    EXPECT_FALSE(defaults->SystemPort);
}

TEST(DemoCommandLine, RefusesWhatItDoesNotKnow) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--turnaround-ms"},
                                                 {"--turnaround-ms", "201"},
                                                 {"--turnaround-ms", "ten"},
                                                 {"--turnaround-ms", ""},
                                                 {"--fast"}}) {
        EXPECT_FALSE(ParseDemoCommandLine(args).Ok()) << args.back();
    }
}

// The demo's downloads stay out of the product's temporary file and settings.
TEST(DemoPlaces, DownloadsGoToAPrivateFolderOfTheDemosOwn) {
    char root[] = "/tmp/demo-places-XXXXXX";
    ASSERT_NE(mkdtemp(root), nullptr);
    const TEnvironment runtime("XDG_RUNTIME_DIR", root);
    const TEnvironment config("XDG_CONFIG_HOME", root);
    const TDownloadFiles files = DemoDownloadFiles();
    const auto folder = files.TempDirectory();
    ASSERT_TRUE(folder.Ok()) << folder.Error().Reason;
    EXPECT_EQ(*folder, std::string(root) + "/qor7316-updater-demo/");
    struct stat info {};
    ASSERT_EQ(::stat(folder->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(*files.TempDirectory(), *folder); // the second time it is there already
    EXPECT_EQ(DemoConfigDirectory(), std::string(root) + "/qor7316-updater-demo");
    EXPECT_EQ(DemoDownloadServer(4711).Host, "127.0.0.1");
    std::filesystem::remove_all(root);
}

} // namespace
} // namespace qor::test
