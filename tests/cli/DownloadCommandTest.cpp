// download and flash --download over a scripted download: the variant asked for, the proxy
// chosen, and the downloaded image checked as the window checks it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "cli/CliOptions.h"
#include "device/Protocol.h"
#include "qortest/CliHarness.h"
#include "qortest/ImageFiles.h"
#include "settings/SettingsStore.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::HasSubstr;

TBytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DownloadCommand : public TCliHarness {
protected:
    TTempDir Dir;
    const TBytes ImageA = MakeSampleImage({TImageVariant::A, "1.5a", std::nullopt});
    const TBytes ImageB = MakeSampleImage({TImageVariant::B, "1.5b", std::nullopt});
};

TEST_F(DownloadCommand, AVariantNeedsNoDeviceAndTheImageIsSavedWhole) {
    Fetch.Body = ImageB;
    const std::string out = (Dir.Path / "fw.bin").string();
    const TCliResult result = Run({"download", "--variant", "b", "--out", out, "--lang", "en"});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(ReadAll(out), ImageB);
    ASSERT_EQ(Fetch.Requests.size(), 1u);
    EXPECT_EQ(Fetch.Requests[0].Variant, TVariantKind::B);
    EXPECT_EQ(result.OutLines().back(), out + " 1.5b");
}

TEST_F(DownloadCommand, WithoutAVariantTheConnectedDevicesIsFetched) {
    AddDevice(TBootloaderConfig::VariantB());
    Fetch.Body = ImageB;
    const std::string out = (Dir.Path / "fw.bin").string();
    ASSERT_EQ(Run({"download", "--out", out}).Exit, 0);
    EXPECT_EQ(Fetch.Requests.at(0).Variant, TVariantKind::B);
    EXPECT_EQ(ReadAll(out), ImageB);

    // A served image that is not the variant's is not saved.
    Fetch.Body = ImageA;
    const std::string other = (Dir.Path / "other.bin").string();
    EXPECT_EQ(Run({"download", "--out", other}).Exit, 4);
    EXPECT_EQ(Run({"download", "--variant", "b", "--out", other}).Exit, 4);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(DownloadCommand, FlashDownloadWritesWhatCameIfItFits) {
    TVirtualDevice& device = AddDevice();
    Fetch.Body = ImageA;
    const TCliResult result = Run({"flash", "--download", "--json"});
    ASSERT_EQ(result.Exit, 0) << result.Out;
    EXPECT_EQ(device.Bootloader.Flash(), ImageA);
    EXPECT_EQ(Fetch.Requests.at(0).Variant, TVariantKind::A);
    EXPECT_THAT(result.Out, HasSubstr(R"("event":"progress","phase":"download","done":31744,)"
                                      R"("total":63488,"unit":"bytes")"));
    EXPECT_EQ(Record.Entries.at(0).ImageSource, "http://server/image.bin");

    // The server's image for another variant, or a damaged one: nothing is written.
    const std::size_t framesBefore = device.Frames.size();
    Fetch.Body = ImageB;
    EXPECT_EQ(Run({"flash", "--download"}).Exit, 4);
    Fetch.Body = ImageA;
    Fetch.Body[7] ^= 0x40;
    EXPECT_EQ(Run({"flash", "--download"}).Exit, 3);
    for (std::size_t i = framesBefore; i < device.Frames.size(); ++i) {
        EXPECT_LE(device.Frames[i].Code, CmdGetFirmwareVersion) << "only the queries";
    }
}

TEST_F(DownloadCommand, AFailedDownloadIsItsOwnExitWithTheDialogsText) {
    AddDevice();
    Fetch.Failure =
        TDownloadError{TDownloadFailure::StatusRefused, "the server answered with status 404",
                       "404", "Connecting to server failed!  -  404"};
    const TCliResult result = Run({"flash", "--download"});
    EXPECT_EQ(result.Exit, 6);
    EXPECT_EQ(result.Err, "Connecting to server failed!  -  404\n"
                          "the server answered with status 404\n");
    EXPECT_EQ(Bus.Device(0).FrameCount(CmdBeginUpdate), 0u);
    Fetch.Failure->Reason = TDownloadFailure::Cancelled;
    EXPECT_EQ(Run({"download", "--variant", "a"}).Exit, 7);
}

TEST_F(DownloadCommand, TheStoredProxyIsUsedUnlessTheOptionsSayOtherwise) {
    const std::string key = SettingsKeyPath;
    Registry.Keys[key]["UseProxy"] = DwordValue(1);
    Registry.Keys[key]["ProxyServer"] = SzValue("proxy.works");
    Registry.Keys[key]["ProxyPort"] = DwordValue(3128);
    Registry.Keys[key]["UseProxyAuth"] = DwordValue(1);
    Registry.Keys[key]["ProxyUser"] = SzValue("tech");
    Registry.Keys[key]["ProxyPassword"] = TRegValue{RegType::Binary, {9, 9, 9}};
    Fetch.Body = ImageA;
    const std::string out = (Dir.Path / "fw.bin").string();
    ASSERT_EQ(Run({"download", "--variant", "a", "--out", out}).Exit, 0);
    ASSERT_EQ(Run({"download", "--variant", "a", "--out", out, "--no-proxy"}).Exit, 0);
    Environment[cli::ProxyPasswordVariable] = "s3cret";
    ASSERT_EQ(Run({"download", "--variant", "a", "--out", out, "--proxy", "other:8080",
                   "--proxy-user", "bench"})
                  .Exit,
              0);
    ASSERT_EQ(Fetch.Requests.size(), 3u);
    const TSettings& stored = Fetch.Requests[0].Settings;
    EXPECT_TRUE(stored.CfgUseProxy && stored.CfgUseProxyAuth);
    EXPECT_EQ(stored.CfgProxyServer, "proxy.works");
    EXPECT_EQ(stored.CfgProxyPort, 3128);
    EXPECT_EQ(stored.CfgProxyPassword, (std::vector<std::uint8_t>{9, 9, 9}));
    EXPECT_FALSE(Fetch.Requests[0].ProxyPassword);
    EXPECT_FALSE(Fetch.Requests[1].Settings.CfgUseProxy);
    const cli::TFetchRequest& given = Fetch.Requests[2];
    EXPECT_TRUE(given.Settings.CfgUseProxy && given.Settings.CfgUseProxyAuth);
    EXPECT_EQ(given.Settings.CfgProxyServer, "other");
    EXPECT_EQ(given.Settings.CfgProxyPort, 8080);
    EXPECT_EQ(given.Settings.CfgProxyUser, "bench");
    EXPECT_EQ(given.ProxyPassword, "s3cret");
}

TEST_F(DownloadCommand, TheImageIsSavedUnderItsServerNameByDefault) {
    Fetch.Body = ImageA;
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path);
    const TCliResult result = Run({"download", "--variant", "a"});
    std::filesystem::current_path(here);
    ASSERT_EQ(result.Exit, 0);
    EXPECT_EQ(ReadAll(Dir.Path / "qor-7316-a.bin"), ImageA);
    // A place that cannot be written is a failed download.
    EXPECT_EQ(
        Run({"download", "--variant", "a", "--out", (Dir.Path / "no/such/dir.bin").string()}).Exit,
        6);
}

} // namespace
} // namespace qor::test
