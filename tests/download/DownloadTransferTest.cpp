// The transfer's steps over a scripted session: what it asks for, what it closes when a
// step fails, and how the body, the cancel and the file end up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "download/DownloadTransfer.h"
#include "download/FakeHttpSession.h"
#include "download/MemoryFiles.h"
#include "support/FakeDataProtection.h"
#include "support/PatternBytes.h"

using namespace qor;
using namespace qor::test;
using ::testing::ElementsAre;

namespace {

class DownloadTransferTest : public ::testing::Test {
protected:
    TSettings Settings;
    TFakeDataProtection Protection;
    THttpScript Script;
    TMemoryFiles Files;
    TDownloadState State;
    int Pumps = 0;
    std::function<void()> OnPump;

    DownloadTransferTest() { Settings.CfgLanguage = LangEnglish; }

    bool Run() {
        TDownloadTransfer transfer(Settings, Protection, FakeSessions(Script), Files.Services());
        transfer.Server = {"images.test", 8080};
        return transfer.DownloadFirmware(State, [this] {
            ++Pumps;
            if (OnPump) {
                OnPump();
            }
        });
    }

    std::vector<std::string> ClosesAfter(const std::string& call) {
        auto it = std::find(Script.Calls.begin(), Script.Calls.end(), call);
        return {it == Script.Calls.end() ? it : it + 1, Script.Calls.end()};
    }
};

} // namespace

TEST_F(DownloadTransferTest, AsksForTheVariantsImageDirectlyWithoutCache) {
    for (std::uint8_t variant : {0, 1, 2}) {
        Script = {};
        Script.Body = PatternBytes(3000);
        State.DeviceVariant = variant;
        ASSERT_TRUE(Run());
        EXPECT_EQ(Script.Path, variant == 0 ? "/qor-7316-a.bin" : "/qor-7316-b.bin");
    }
    EXPECT_EQ(Script.Agent, "qor_fw_update");
    EXPECT_EQ(Script.Access, THttpAccess::Direct);
    EXPECT_EQ(Script.ProxyName, "");
    EXPECT_EQ(Script.Host, "images.test");
    EXPECT_EQ(Script.Port, 8080);
    EXPECT_EQ(Script.Verb, "GET");
    EXPECT_TRUE(Script.AlwaysFromServer);
    EXPECT_FALSE(Script.ProxyUser.has_value());
    EXPECT_FALSE(Script.ProxyPassword.has_value());
}

TEST_F(DownloadTransferTest, ProxyIsNamedBySchemeServerAndPortWithAnEmptyBypassList) {
    Settings.CfgUseProxy = true;
    Settings.CfgProxyServer = "proxy.lan";
    Settings.CfgProxyPort = 3128;
    ASSERT_TRUE(Run());
    EXPECT_EQ(Script.Access, THttpAccess::Proxy);
    EXPECT_EQ(Script.ProxyName, "http://proxy.lan:3128");
    EXPECT_EQ(Script.ProxyBypass, "");
    EXPECT_FALSE(Script.ProxyUser.has_value()); // no authentication asked for

    Script = {};
    Settings.CfgProxyServer.clear();
    Settings.CfgProxyPort = 0;
    Run();
    EXPECT_EQ(Script.ProxyName, "http://:0");
}

TEST_F(DownloadTransferTest, CredentialsAreTheUserAndTheUnprotectedPasswordWithItsZero) {
    Settings.CfgUseProxy = true;
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyUser = "tech";
    Settings.CfgProxyPassword = TFakeDataProtection::BlobOf("s3cret");
    ASSERT_TRUE(Run());
    EXPECT_EQ(Script.ProxyUser, "tech");
    ASSERT_TRUE(Script.ProxyPassword.has_value());
    EXPECT_THAT(*Script.ProxyPassword, ElementsAre('s', '3', 'c', 'r', 'e', 't', 0));
    EXPECT_THAT(Script.Calls,
                ElementsAre("Open", "Connect", "SetProxyUserName", "SetProxyPassword",
                            "OpenRequest", "SendRequest", "QueryStatusCode", "QueryContentLength",
                            "CloseRequest", "CloseConnection", "CloseInternet"));

    // An empty user is given as the empty text; a password never entered as the empty one.
    Script = {};
    Settings.CfgProxyUser.clear();
    Settings.CfgProxyPassword.clear();
    ASSERT_TRUE(Run());
    EXPECT_EQ(Script.ProxyUser, "");
    EXPECT_THAT(*Script.ProxyPassword, ElementsAre(0));
}

TEST_F(DownloadTransferTest, AuthenticationWithoutProxyGoesDirectWithoutCredentials) {
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyServer = "proxy.lan";
    Settings.CfgProxyUser = "tech";
    Settings.CfgProxyPassword = TFakeDataProtection::BlobOf("s3cret");
    ASSERT_TRUE(Run());
    EXPECT_EQ(Script.Access, THttpAccess::Direct);
    EXPECT_FALSE(Script.ProxyUser.has_value());
    EXPECT_FALSE(Script.ProxyPassword.has_value());
}

TEST_F(DownloadTransferTest, PasswordThatCannotBeUnprotectedIsNeverSent) {
    Settings.CfgUseProxy = true;
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyPassword = {1, 2, 3, 4}; // another user's or altered
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Connecting to server failed!");
    EXPECT_FALSE(Script.ProxyPassword.has_value());
    EXPECT_THAT(ClosesAfter("SetProxyUserName"), ElementsAre("CloseConnection", "CloseInternet"));
    EXPECT_FALSE(State.Busy);
    EXPECT_FALSE(State.DownloadOK);
    EXPECT_EQ(Files.Writes, 0);
}

// Each failing step is a server failure that closes exactly the handles open by then.
TEST_F(DownloadTransferTest, FailingStepClosesWhatIsOpenInOrder) {
    Settings.CfgUseProxy = true;
    Settings.CfgUseProxyAuth = true;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Open", {}},
        {"Connect", {"CloseInternet"}},
        {"SetProxyUserName", {"CloseConnection", "CloseInternet"}},
        {"SetProxyPassword", {"CloseConnection", "CloseInternet"}},
        {"OpenRequest", {"CloseConnection", "CloseInternet"}},
        {"SendRequest", {"CloseRequest", "CloseConnection", "CloseInternet"}},
        {"QueryStatusCode", {"CloseRequest", "CloseConnection", "CloseInternet"}},
    };
    for (const auto& [step, closes] : cases) {
        SCOPED_TRACE(step);
        Script = {};
        Script.FailAt = step;
        Script.Body = PatternBytes(100);
        State = TDownloadState{};
        EXPECT_FALSE(Run());
        EXPECT_EQ(ClosesAfter(step), closes);
        EXPECT_EQ(State.View.LStatus, "Connecting to server failed!");
        EXPECT_EQ(State.FailureDetail, step + " failed");
        EXPECT_FALSE(State.DownloadOK);
        EXPECT_FALSE(State.Busy);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(DownloadTransferTest, StatusOtherThan200IsShownAfterTheFailureText) {
    Script.Status = "404";
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Connecting to server failed!  -  404");
    EXPECT_THAT(ClosesAfter("QueryStatusCode"),
                ElementsAre("CloseRequest", "CloseConnection", "CloseInternet"));
    EXPECT_FALSE(State.Busy);
    EXPECT_EQ(Files.Writes, 0);

    Settings.CfgLanguage = LangGerman;
    Script = {};
    Script.Status = "503";
    Run();
    EXPECT_EQ(State.View.LStatus, "Keine Verbindung zum Server möglich!  -  503");
}

TEST_F(DownloadTransferTest, ContentLengthIsReadAsDecimalOrZero) {
    const std::vector<std::pair<std::optional<std::string>, std::uint32_t>> cases = {
        {"250000", 250000},          {"0", 0},          {"12ab", 0}, {"-5", 0},
        {"4294967295", 4294967295U}, {"4294967296", 0},
    };
    for (const auto& [text, total] : cases) {
        SCOPED_TRACE(text.value_or("none"));
        Script = {};
        Script.ContentLength = text;
        Run();
        EXPECT_TRUE(State.SizeKnown);
        EXPECT_EQ(State.TotalBytes, total);
    }
    Script = {};
    Script.Body = PatternBytes(10);
    Run();
    EXPECT_FALSE(State.SizeKnown);
}

TEST_F(DownloadTransferTest, BodyIsReadIn512BytePiecesAndWrittenAfterTheHandlesAreClosed) {
    Script.Body = PatternBytes(200'001);
    Script.ContentLength = "200001";
    State.DeviceVariant = 0;
    ASSERT_TRUE(Run());
    EXPECT_TRUE(State.DownloadOK);
    EXPECT_FALSE(State.Busy);
    EXPECT_EQ(State.ReceivedBytes, 200'001u);
    EXPECT_EQ(Script.LargestReadAsked, 512u);
    EXPECT_EQ(State.TempFilePath, "/run/user/1000/qor-7316.bin");
    EXPECT_TRUE(Files.Written["/run/user/1000/qor-7316.bin"] == Script.Body);
    EXPECT_THAT(ClosesAfter("QueryContentLength"),
                ElementsAre("CloseRequest", "CloseConnection", "CloseInternet"));
    // Once before connecting, then after each of the 391 reads (the last one returns 0).
    EXPECT_EQ(Pumps, 1 + 391 + 1);
}

TEST_F(DownloadTransferTest, StatusReadsConnectingWhilePumpedBeforeTheResponse) {
    std::vector<std::string> seen;
    TDownloadTransfer transfer(
        Settings, Protection,
        [&](const TPump& pump) {
            pump(); // a back-end waiting for the network
            return std::make_unique<TFakeHttpSession>(Script);
        },
        Files.Services());
    transfer.DownloadFirmware(State, [&] {
        seen.push_back(State.View.LStatus + (State.AwaitingResponse ? " awaiting" : ""));
    });
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Connecting... awaiting");
    EXPECT_EQ(seen[1], "Connecting... awaiting");
    EXPECT_FALSE(State.AwaitingResponse);
    EXPECT_FALSE(State.Running);
}

TEST_F(DownloadTransferTest, CancelStopsBeforeTheNextReadAndWritesNothing) {
    Script.Body = PatternBytes(100'000);
    OnPump = [this] {
        if (State.ReceivedBytes >= 2048) {
            State.Busy = false; // the Cancel button, served by the pump
        }
    };
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Operation cancelled");
    EXPECT_EQ(State.ReceivedBytes, 2048u);
    EXPECT_FALSE(State.DownloadOK);
    EXPECT_EQ(Files.Writes, 0);
    EXPECT_THAT(ClosesAfter("QueryContentLength"),
                ElementsAre("CloseRequest", "CloseConnection", "CloseInternet"));
}

TEST_F(DownloadTransferTest, CancelDuringConnectingTakesEffectAtTheFirstRead) {
    TDownloadTransfer transfer(
        Settings, Protection,
        [&](const TPump&) {
            State.Busy = false; // pressed while the session was made
            return std::make_unique<TFakeHttpSession>(Script);
        },
        Files.Services());
    EXPECT_FALSE(transfer.DownloadFirmware(State, {}));
    EXPECT_EQ(State.View.LStatus, "Operation cancelled");
    EXPECT_EQ(State.ReceivedBytes, 0u);
    EXPECT_EQ(Script.HandedOut, 0u);
}

TEST_F(DownloadTransferTest, FailedReadIsADownloadFailureAndKeepsTheOldFile) {
    Script.Body = PatternBytes(10'000);
    Script.FailReadAfter = 4096;
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
    EXPECT_FALSE(State.Busy);
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(DownloadTransferTest, BodyThatDoesNotFitTheBufferFailsWithoutWritingPastIt) {
    // Exactly the buffer's size fits.
    Script.Body = PatternBytes(DownloadBufferSize);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Files.Written.begin()->second.size(), DownloadBufferSize);

    // One byte more without a length: noticed by the read after the buffer is full.
    Script = {};
    Script.Body = PatternBytes(DownloadBufferSize + 1);
    Files.Writes = 0;
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
    EXPECT_EQ(State.ReceivedBytes, DownloadBufferSize);
    EXPECT_EQ(Files.Writes, 0);

    // A length above the buffer fails before reading.
    Script = {};
    Script.ContentLength = "1500001";
    Script.Body = PatternBytes(DownloadBufferSize + 1);
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
    EXPECT_EQ(Script.HandedOut, 0u);
    EXPECT_FALSE(State.DownloadOK);
}

TEST_F(DownloadTransferTest, FileThatCannotBeWrittenIsAFailure) {
    Script.Body = PatternBytes(5000);
    Files.FailWrite = true;
    EXPECT_FALSE(Run());
    EXPECT_FALSE(State.DownloadOK);
    EXPECT_FALSE(State.Busy);
    EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
    EXPECT_THAT(State.FailureDetail, ::testing::HasSubstr("disk full"));
}

TEST_F(DownloadTransferTest, NoTemporaryDirectoryFailsBeforeAnyNetworkAccess) {
    Files.NoDirectory = true;
    EXPECT_FALSE(Run());
    EXPECT_EQ(Script.Sessions, 0);
    EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
    EXPECT_FALSE(State.Busy);
    EXPECT_FALSE(State.DownloadOK);
}
