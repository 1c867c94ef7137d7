// WinINet through a real proxy: tinyproxy with Basic authentication, started for these tests
// by a CTest fixture on the Linux side and reached over loopback from Wine.
#include "download/WinInetHttpSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/TextTable.h"
#include "download/DownloadTransfer.h"
#include "presenter/ProxySettings.h"
#include "qortest/DownloadWatch.h"
#include "qortest/PatternBytes.h"
#include "qortest/RegValues.h"
#include "secrets/DpapiProtection.h"
#include "sim/FirmwareServer.h"

namespace qor {
namespace {

using TBytes = std::vector<std::uint8_t>;
using test::PatternBytes;
using test::ZeroTerminated;

// The fixture's port file and credentials, given by the build.
constexpr const char* PortFileVariable = "QOR_TINYPROXY_PORT_FILE";
constexpr const char* ProxyUser = QOR_TINYPROXY_USER;
constexpr const char* ProxyPassword = QOR_TINYPROXY_PASSWORD;
constexpr const char* ImagePath = "/qor-7316-a.bin";

std::uint16_t ProxyPort() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA(PortFileVariable, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return 0;
    }
    int port = 0;
    std::ifstream(path) >> port;
    return static_cast<std::uint16_t>(port);
}

class WinInetProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        Port = ProxyPort();
        ASSERT_NE(Port, 0) << "no tinyproxy: the test runs with its CTest fixture";
        Server.Serve(ImagePath, TServedFile::Of(Image));
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    }

    // The download's request through the proxy, up to the status; the failure as its text.
    std::string StatusThroughProxy(TWinInetHttpSession& session,
                                   const std::optional<std::string>& user, const TBytes& password) {
        THttpRequest request;
        request.Host = "127.0.0.1";
        request.Port = Server.Port();
        request.Path = ImagePath;
        request.Agent = "qor_fw_update";
        request.Proxy.emplace();
        request.Proxy->Name = "http://127.0.0.1:" + std::to_string(Port);
        if (user) {
            request.Proxy->Credentials.emplace();
            request.Proxy->Credentials->User = *user;
            request.Proxy->Credentials->Password = TSecretBytes(password);
        }
        const auto response = session.Get(request);
        return response ? response->Status : "failed: " + response.Error().Detail;
    }

    std::uint16_t Port = 0;
    TFirmwareServer Server;
    TBytes Image = PatternBytes(4000, 5);
    TWinInetHttpSession Session{{}};
};

TEST_F(WinInetProxyTest, TheRightCredentialsFetchTheImageThroughTheProxy) {
    EXPECT_EQ(StatusThroughProxy(Session, ProxyUser, ZeroTerminated(ProxyPassword)), "200");
    std::uint8_t buffer[512];
    TBytes body;
    while (const auto got = Session.Read(buffer)) {
        if (*got == 0) {
            break;
        }
        body.insert(body.end(), buffer, buffer + *got);
    }
    EXPECT_EQ(body, Image);
    ASSERT_EQ(Server.Requests().size(), 1U);
    EXPECT_EQ(Server.Requests()[0].Header("user-agent"), "qor_fw_update");
}

TEST_F(WinInetProxyTest, WrongOrMissingCredentialsAreRefusedByTheProxy) {
    const auto wrong = StatusThroughProxy(Session, ProxyUser, ZeroTerminated("not-the-password"));
    EXPECT_THAT(wrong, ::testing::AnyOf("401", "407"));

    TWinInetHttpSession anonymous({});
    const auto none = StatusThroughProxy(anonymous, std::nullopt, {});
    EXPECT_THAT(none, ::testing::AnyOf("401", "407"));

    EXPECT_TRUE(Server.Requests().empty());
}

// The whole download as the product runs it: the password protected for the user in the
// settings, unprotected for the proxy option with its terminating zero.
TEST_F(WinInetProxyTest, TheDownloadUsesTheProtectedPasswordFromTheSettings) {
    TDpapiProtection protection;
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    settings.CfgUseProxy = true;
    settings.CfgUseProxyAuth = true;
    settings.CfgProxyServer = "127.0.0.1";
    settings.CfgProxyPort = Port;
    settings.CfgProxyUser = ProxyUser;
    const auto blob = protection.Protect(ZeroTerminated(ProxyPassword), ProxyPasswordDescription);
    ASSERT_TRUE(blob) << blob.Error().Reason;
    settings.CfgProxyPassword = *blob;
    TBytes written;
    TDownloadFiles files{
        []() -> TResult<std::string> { return std::string("C:\\"); },
        [&](const std::string&, std::span<const std::uint8_t> bytes) -> TResult<void> {
            written.assign(bytes.begin(), bytes.end());
            return {};
        }};
    TDownloadTransfer transfer(protection, WinInetHttpSessions(), files);
    test::TDownloadWatch watch;
    const auto download = [&] {
        return transfer.DownloadFirmware(
            TDownloadRequest{TVariantKind::A, settings, std::nullopt, {"127.0.0.1", Server.Port()}},
            watch);
    };

    const TDownloadResult outcome = download();
    EXPECT_TRUE(outcome.Ok()) << outcome.Error().Detail;
    EXPECT_EQ(written, Image);

    // A password changed since: the proxy refuses, and the status is shown after the text.
    settings.CfgProxyPassword =
        *protection.Protect(ZeroTerminated("outdated"), ProxyPasswordDescription);
    const TDownloadResult refused = download();
    ASSERT_FALSE(refused.Ok());
    EXPECT_THAT(refused.Error().Text, ::testing::StartsWith("Connecting to server failed!  -  4"));
}

} // namespace
} // namespace qor
