// The commands that look at the device without writing to it, the wait for a device, the
// language and the JSON stream.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "cli/DeviceConnect.h"
#include "device/Protocol.h"
#include "qortest/CliHarness.h"
#include "qortest/ImageFiles.h"
#include "settings/SettingsStore.h"

namespace qor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class CommandLine : public TCliHarness {};

TEST_F(CommandLine, ListShowsTheDevicesWithTheDescriptionTheWindowLooksFor) {
    AddDevice(TBootloaderConfig::VariantA(), "FT232R USB UART");
    AddDevice(TBootloaderConfig::VariantA(), "QOR 7316").SerialNumber.clear();
    AddDevice(TBootloaderConfig::VariantA(), "QOR 7316 ");
    AddDevice(TBootloaderConfig::VariantB(), "QOR 7316");
    const TCliResult result = Run({"list"});
    EXPECT_EQ(result.Exit, 0);
    EXPECT_THAT(result.OutLines(), ElementsAre("VQ1\tnone\tQOR 7316", "VQ3\tVQ731603\tQOR 7316"));

    const TCliResult chosen = Run({"list", "--port", "VQ1", "--json"});
    EXPECT_EQ(chosen.Exit, 0);
    EXPECT_THAT(chosen.OutLines(),
                ElementsAre(R"({"event":"device","port":"VQ1","serial":null,)"
                            R"("description":"QOR 7316","message":"VQ1\tnone\tQOR 7316"})",
                            R"({"event":"result","exit":0,"outcome":"success","count":1,)"
                            R"("message":""})"));
}

// A unit chosen by its bridge's serial number, on whichever port it is; one that is not there
// is named, also when the wait for it runs out.
TEST_F(CommandLine, SerialChoosesTheUnitAndOneNotThereIsNamed) {
    AddDevice();
    AddDevice(TBootloaderConfig::VariantB());
    TVirtualDevice& late = AddDevice();
    late.Unplug();
    Clock.At(cli::TMs(2000), [&] { late.Plug(); });

    EXPECT_THAT(Run({"info", "--serial", "VQ731601", "--lang", "en"}).OutLines(),
                ElementsAre("QOR 7316 connected (port VQ1, serial VQ731601)",
                            "Bootloader Version: 1.3b", "Firmware version: 1.0b",
                            "Checksum: valid"));
    const TCliResult missing = Run({"info", "--serial", "VQ731602", "--lang", "en"});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_THAT(missing.Err, HasSubstr("no device with the description \"QOR 7316\" and the "
                                       "serial number VQ731602"));
    const cli::TMs start = Clock.Time;
    const TCliResult listed =
        Run({"list", "--serial", "VQ731601", "--serial", "VQ731609", "--wait", "1"});
    EXPECT_EQ(listed.Exit, 1);
    EXPECT_THAT(listed.OutLines(), ElementsAre("Waiting 1 s for the serial number VQ731609",
                                               "VQ1\tVQ731601\tQOR 7316"));
    EXPECT_THAT(listed.Err, HasSubstr("serial number VQ731609"));
    EXPECT_EQ((Clock.Time - start).count(), 1000) << "waited for the one not there";

    const TCliResult waited = Run({"power-off", "--serial", "VQ731602", "--wait", "5"});
    EXPECT_EQ(waited.Exit, 0) << waited.Err;
    EXPECT_EQ(late.FrameCount(CmdPowerOff), 1u);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 0u);
}

TEST_F(CommandLine, NoDeviceIsItsOwnExitAtOnceWithoutWait) {
    AddDevice(TBootloaderConfig::VariantA(), "FT232R USB UART");
    for (const char* command : {"list", "info", "power-off"}) {
        const TCliResult result = Run({command, "--lang", "de"});
        EXPECT_EQ(result.Exit, 1) << command;
        EXPECT_THAT(result.Err, StartsWith("QOR 7316 nicht verbunden\n")) << command;
    }
    EXPECT_EQ(Clock.Time.count(), 0) << "nobody waited";
}

TEST_F(CommandLine, InfoShowsTheDeviceAsTheWindowDoes) {
    AddDevice(TBootloaderConfig::VariantB());
    const TCliResult result = Run({"info", "--lang", "en"});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_THAT(result.OutLines(), ElementsAre("QOR 7316 connected (port VQ0, serial VQ731600)",
                                               "Bootloader Version: 1.3b", "Firmware version: 1.0b",
                                               "Checksum: valid"));

    // Firmware whose checksums disagree: no application to tell its version, which is shown
    // as unknown and said to be missing.
    Bus.Device(0).Bootloader.LoadFlash(MakeImage(2048, "1.7b"));
    const TCliResult invalid = Run({"info", "--lang", "de", "--json"});
    ASSERT_EQ(invalid.Exit, 0);
    const std::string info = invalid.OutLines().at(1);
    EXPECT_THAT(info, StartsWith(R"({"event":"info","port":"VQ0","serial":"VQ731600",)"
                                 R"("bootloader_version":"1.3b","variant":"b",)"));
    EXPECT_THAT(info,
                HasSubstr(R"("bootloader_version":"1.3b","variant":"b","page_size":1024,)"
                          R"("page_count":126,"firmware_version":null,"checksum_valid":false)"));
    EXPECT_THAT(info, HasSubstr(R"(Firmware version: -- / --\nPrüfsumme: ungültig\n)"
                                R"(The device did not report its firmware version")"));
}

TEST_F(CommandLine, ADeviceOfAnotherVariantShowsNoLetter) {
    AddDevice(TBootloaderConfig{PageSizeCode256, 128});
    const TCliResult result = Run({"info", "--json"});
    ASSERT_EQ(result.Exit, 0);
    EXPECT_THAT(result.OutLines().at(1), HasSubstr(R"("bootloader_version":"1.3","variant":null)"));
}

TEST_F(CommandLine, WaitsForADeviceThatAppearsLater) {
    TVirtualDevice& device = AddDevice();
    device.Unplug();
    Clock.At(cli::TMs(2000), [&] { device.Plug(); });
    const TCliResult result = Run({"info", "--wait", "5", "--lang", "en"});
    EXPECT_EQ(result.Exit, 0) << result.Err;
    EXPECT_THAT(result.OutLines().front(), "QOR 7316 not connected - waiting 5 s");
    // Found at 2.0 s; the first full query comes on the fourth tick with the device there.
    EXPECT_GE(Clock.Time.count(), 2000);
    EXPECT_LE(Clock.Time.count(), 2400);
}

TEST_F(CommandLine, AWaitThatRunsOutIsNoDevice) {
    TVirtualDevice& device = AddDevice();
    device.Unplug();
    Clock.At(cli::TMs(2000), [&] { device.Plug(); });
    const TCliResult result = Run({"list", "--wait", "1"});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_EQ(Clock.Time.count(), 1000);
    EXPECT_EQ(Run({"list", "--wait", "1.5"}).Exit, 0);
}

TEST_F(CommandLine, ADeviceWhoseBootloaderIsSilentIsNoDeviceWithTheReason) {
    AddDevice().SwitchOn(TDeviceMode::Application);
    const TCliResult result = Run({"info", "--json"});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_THAT(result.Out, HasSubstr("its bootloader does not answer"));
    EXPECT_EQ(Clock.Time, cli::BootloaderGrace);
    // The window's rhythm: a full query on the fourth tick, then on every third.
    EXPECT_GE(Bus.Device(0).FrameCount(CmdGetBootVersion), 6u);
}

TEST_F(CommandLine, APortThatCannotBeOpenedSaysWhy) {
    AddDevice().OpenRefusal = "/dev/ttyUSB0 is in use by another program";
    const TCliResult result = Run({"info"});
    EXPECT_EQ(result.Exit, 1);
    EXPECT_THAT(result.Err, HasSubstr("/dev/ttyUSB0 is in use by another program"));
}

TEST_F(CommandLine, PowerOffSendsOneRequest) {
    AddDevice();
    const TCliResult result = Run({"power-off", "--json"});
    EXPECT_EQ(result.Exit, 0);
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdPowerOff), 1u);
    EXPECT_THAT(result.Out, HasSubstr(R"("acknowledged":true)"));
    EXPECT_EQ(Run({"list"}).Exit, 1) << "the device switched itself off";
}

TEST_F(CommandLine, TheLanguageIsTheStoredOneUnlessChosen) {
    AddDevice();
    const std::string key = SettingsKeyPath;
    Registry.Keys[key]["Language"] = DwordValue(LangFrench);
    EXPECT_EQ(Run({"info"}).OutLines().front(), "QOR 7316 connecté (port VQ0, serial VQ731600)");
    EXPECT_EQ(Run({"info", "--lang", "es"}).OutLines().front(),
              "QOR 7316 conectado (port VQ0, serial VQ731600)");

    // An unreadable store is reported, and the run goes on in English.
    Registry.Keys[key]["Language"] = TRegValue{RegType::Sz, {'x', 0}};
    const TCliResult unreadable = Run({"info"});
    EXPECT_EQ(unreadable.Exit, 0);
    EXPECT_THAT(unreadable.Err, HasSubstr("Language"));
    EXPECT_EQ(unreadable.OutLines().front(), "QOR 7316 connected (port VQ0, serial VQ731600)");
}

TEST_F(CommandLine, TheStoresNoticesComeBeforeItsFailureEachInItsLanguage) {
    AddDevice();
    const std::string key = SettingsKeyPath;
    Registry.Keys[key]["Language"] = DwordValue(LangFrench);
    // Missing, so the load writes it back, and that write fails.
    Registry.FailingWrites = {"ProxyPort"};
    Registry.WriteCause = TStoreCause::DiskFull;
    Registry.Notices = {{TStoreNotice::TKind::SetAside,
                         {"a.reg", TStoreCause::Damaged, "line 1: not a registry file", true},
                         "a.reg.damaged-1"}};
    const TCliResult result = Run({"info"});
    EXPECT_EQ(result.Exit, 0);
    // The notice in the language of the run (English: nothing read is trusted), the failure
    // as the store said it, in the language it had read.
    EXPECT_EQ(result.Err, "The settings file \"a.reg\" could not be read (the contents are "
                          "damaged). It was kept as \"a.reg.damaged-1\" and the default settings "
                          "are used.\n"
                          "Fehler beim Setzen der Daten für 'ProxyPort'\n" +
                              key + ": le disque est plein\n");
    EXPECT_EQ(result.OutLines().front(), "QOR 7316 connected (port VQ0, serial VQ731600)");

    Registry.Notices = {{TStoreNotice::TKind::SetAside,
                         {"a.reg", TStoreCause::Damaged, "line 1: not a registry file", true},
                         "a.reg.damaged-1"}};
    const TCliResult json = Run({"info", "--json"});
    std::string jsonKey;
    for (const char c : key) {
        jsonKey += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    EXPECT_THAT(json.OutLines(),
                testing::Contains(
                    R"({"event":"notice","port":"VQ0","serial":"VQ731600","source":"settings",)"
                    R"("message":"The settings file )"
                    R"(\"a.reg\" could not be read (the contents are damaged). It was kept as )"
                    R"(\"a.reg.damaged-1\" and the default settings are used."})"));
    EXPECT_THAT(json.OutLines(),
                testing::Contains(
                    R"({"event":"notice","port":"VQ0","serial":"VQ731600","source":"settings",)"
                    R"("message":"Fehler beim Setzen der )"
                    R"(Daten für 'ProxyPort'\n)" +
                    jsonKey + R"(: le disque est plein"})"));
}

TEST_F(CommandLine, AUsageErrorIsReportedInTheFormAskedFor) {
    const TCliResult text = Run({"flash"});
    EXPECT_EQ(text.Exit, 2);
    EXPECT_THAT(text.Err, HasSubstr("Try 'qor7316-update --help'"));
    const TCliResult json = Run({"flash", "--json"});
    EXPECT_EQ(json.Exit, 2);
    EXPECT_THAT(json.Out, StartsWith(R"({"event":"result","exit":2,"outcome":"usage",)"));
    EXPECT_EQ(Run({"--help"}).Exit, 0);
}

} // namespace
} // namespace qor::test
