// download over the system's HTTP client against a loopback server, directly and with the
// server standing in as the stored proxy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "cli/CliOptions.h"
#include "qortest/CliHarness.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/ImageFiles.h"
#include "settings/SettingsStore.h"
#include "sim/FirmwareServer.h"
#include "sim/SampleImage.h"

namespace qor::test {
namespace {

using ::testing::HasSubstr;

class DownloadLoopback : public TCliHarness {
protected:
    void SetUp() override {
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    }

    TCliResult RunWith(cli::IFirmwareFetch& fetch, std::vector<std::string> args) {
        std::ostringstream out;
        std::ostringstream err;
        cli::TCliServices services{Bus,
                                   Clock,
                                   Registry,
                                   fetch,
                                   Record,
                                   nullptr,
                                   [this](const char* name) -> std::optional<std::string> {
                                       const auto it = Environment.find(name);
                                       if (it == Environment.end()) {
                                           return std::nullopt;
                                       }
                                       return it->second;
                                   },
                                   out,
                                   err};
        TCliResult result;
        result.Exit = cli::RunCommandLine(args, services);
        result.Out = out.str();
        result.Err = err.str();
        return result;
    }

    TBytes Saved() const {
        std::ifstream in(Out, std::ios::binary);
        return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TFirmwareServer Server;
    TFakeDataProtection Protection;
    TTempDir Dir;
    const std::string Out = (Dir.Path / "fw.bin").string();
    const TBytes ImageA = MakeSampleImage({TImageVariant::A, "1.5a", std::nullopt});
};

TEST_F(DownloadLoopback, FetchesTheVariantsImageFromTheServer) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(ImageA));
    const auto fetch =
        cli::MakeFirmwareFetch(Protection, TDownloadServer{"127.0.0.1", Server.Port()});
    const TCliResult result =
        RunWith(*fetch, {"download", "--variant", "a", "--out", Out, "--json"});
    ASSERT_EQ(result.Exit, 0) << result.Out;
    EXPECT_EQ(Saved(), ImageA);
    EXPECT_THAT(result.Out, HasSubstr(R"("done":63488,"total":63488,"unit":"bytes"})"));
    EXPECT_EQ(Server.Requests().at(0).RequestLine, "GET /qor-7316-a.bin HTTP/1.1");

    const TCliResult missing = RunWith(*fetch, {"download", "--variant", "b", "--lang", "en"});
    EXPECT_EQ(missing.Exit, 6);
    EXPECT_THAT(missing.Err, HasSubstr("Connecting to server failed!  -  404\n"));
}

TEST_F(DownloadLoopback, TheStoredProxyAndItsProtectedPasswordAreUsed) {
    // The loopback server answers as the proxy would; the request names the product's server.
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(ImageA));
    const std::string key = SettingsKeyPath;
    Registry.Keys[key]["UseProxy"] = DwordValue(1);
    Registry.Keys[key]["ProxyServer"] = SzValue("127.0.0.1");
    Registry.Keys[key]["ProxyPort"] = DwordValue(Server.Port());
    Registry.Keys[key]["UseProxyAuth"] = DwordValue(1);
    Registry.Keys[key]["ProxyUser"] = SzValue("tech");
    Registry.Keys[key]["ProxyPassword"] =
        TRegValue{RegType::Binary, TFakeDataProtection::BlobOf("pw")};
    const auto fetch = cli::MakeFirmwareFetch(Protection);
    const TCliResult result = RunWith(*fetch, {"download", "--variant", "a", "--out", Out});
    ASSERT_EQ(result.Exit, 0) << result.Err;
    EXPECT_EQ(Saved(), ImageA);
    const TRecordedRequest request = Server.Requests().at(0);
    EXPECT_EQ(request.Target, "http://firmware.zentrova.example/qor-7316-a.bin");
    EXPECT_EQ(request.Header("proxy-authorization"), "Basic dGVjaDpwdw=="); // tech:pw

    // Told otherwise: this proxy with a password from the environment.
    Environment[cli::ProxyPasswordVariable] = "s3cret";
    const TCliResult given =
        RunWith(*fetch, {"download", "--variant", "a", "--out", Out, "--proxy",
                         "127.0.0.1:" + std::to_string(Server.Port()), "--proxy-user", "bench"});
    ASSERT_EQ(given.Exit, 0) << given.Err;
    EXPECT_EQ(Server.Requests().at(1).Header("proxy-authorization"),
              "Basic YmVuY2g6czNjcmV0"); // bench:s3cret
}

} // namespace
} // namespace qor::test
