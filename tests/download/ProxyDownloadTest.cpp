// The download through a real tinyproxy that wants Basic authentication.
#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "download/CurlHttpSession.h"
#include "download/DownloadTransfer.h"
#include "qortest/DownloadWatch.h"
#include "qortest/Environment.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/MemoryFiles.h"
#include "qortest/PatternBytes.h"
#include "qortest/TinyProxy.h"
#include "sim/FirmwareServer.h"

using namespace qor;
using namespace qor::test;
using namespace std::chrono_literals;

namespace {

class ProxyDownloadTest : public ::testing::Test {
protected:
    TFirmwareServer Server;
    TTinyProxy Proxy;
    TSettings Settings;
    TFakeDataProtection Protection;
    TMemoryFiles Files;
    TDownloadWatch Watch;
    std::optional<TDownloadResult> Last;
    std::vector<std::uint8_t> Image = PatternBytes(300'000, 5);

    void SetUp() override {
        if (TTinyProxy::Executable().empty()) {
            GTEST_SKIP() << "tinyproxy is not installed (Debian package tinyproxy)";
        }
        std::string error;
        ASSERT_TRUE(Proxy.Start("fwuser", "pa55-word", error)) << error;
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
        Server.Serve("/qor-7316-b.bin", TServedFile::Of(Image));
        Settings.CfgLanguage = LangEnglish;
        Settings.CfgUseProxy = true;
        Settings.CfgProxyServer = "127.0.0.1";
        Settings.CfgProxyPort = Proxy.Port();
    }

    bool Run() {
        TDownloadTransfer transfer(
            Protection,
            [](const THttpWait& wait) {
                TCurlLimits limits;
                limits.StallTimeout = 5s;
                return std::make_unique<TCurlHttpSession>(wait, limits);
            },
            Files.Services());
        Last.emplace(transfer.DownloadFirmware(
            TDownloadRequest{TVariantKind::B, Settings, std::nullopt, {"127.0.0.1", Server.Port()}},
            Watch));
        return Last->Ok();
    }

    // The status text of the last transfer's failure, and what happened.
    std::string Label() const { return Last->Ok() ? "(succeeded)" : Last->Error().Text; }
    std::string Detail() const { return Last->Ok() ? std::string() : Last->Error().Detail; }

    void UseCredentials(const std::string& user, const std::string& password) {
        Settings.CfgUseProxyAuth = true;
        Settings.CfgProxyUser = user;
        Settings.CfgProxyPassword = TFakeDataProtection::BlobOf(password);
    }
};

} // namespace

TEST_F(ProxyDownloadTest, RightCredentialsDownloadThroughTheProxy) {
    UseCredentials("fwuser", "pa55-word");
    ASSERT_TRUE(Run()) << Label() << " " << Detail() << "\n" << Proxy.Log();
    EXPECT_TRUE(Files.Written[Last->Value().SavedAs] == Image);
    ASSERT_EQ(Server.Requests().size(), 1u);
    EXPECT_EQ(Server.Requests()[0].Header("user-agent"), "qor_fw_update");
    EXPECT_THAT(Proxy.Log(), ::testing::HasSubstr("/qor-7316-b.bin"));
}

TEST_F(ProxyDownloadTest, WrongOrMissingCredentialsAreRefusedByTheProxy) {
    UseCredentials("fwuser", "wrong");
    EXPECT_FALSE(Run());
    // tinyproxy answers wrong credentials with 401.
    EXPECT_EQ(Label(), "Connecting to server failed!  -  401");

    UseCredentials("fwuser", "");
    EXPECT_FALSE(Run());
    EXPECT_EQ(Label(), "Connecting to server failed!  -  401");

    Settings.CfgUseProxyAuth = false;
    EXPECT_FALSE(Run());
    EXPECT_EQ(Label(), "Connecting to server failed!  -  407");

    EXPECT_TRUE(Server.Requests().empty());
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(ProxyDownloadTest, ProxyIsUsedEvenForHostsTheEnvironmentExempts) {
    const TEnvironment lower("no_proxy", "127.0.0.1,localhost");
    const TEnvironment upper("NO_PROXY", "127.0.0.1,localhost");
    UseCredentials("fwuser", "wrong");
    EXPECT_FALSE(Run());
    EXPECT_EQ(Label(), "Connecting to server failed!  -  401");
    EXPECT_TRUE(Server.Requests().empty());
}
