// The transfer's steps over a scripted session: what it asks for, where it stops, how the
// body, the cancel, the bounds and the file end up, and the texts its errors carry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "download/DownloadTransfer.h"
#include "qortest/DownloadWatch.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/FakeHttpSession.h"
#include "qortest/MemoryFiles.h"
#include "qortest/PatternBytes.h"

using namespace qor;
using namespace qor::test;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class DownloadTransferTest : public ::testing::Test {
protected:
    TSettings Settings;
    TFakeDataProtection Protection;
    THttpScript Script;
    TMemoryFiles Files;
    TDownloadWatch Watch;
    TVariantKind Variant = TVariantKind::B;
    std::chrono::steady_clock::time_point Clock{};

    DownloadTransferTest() { Settings.CfgLanguage = LangEnglish; }

    TDownloadResult Run() {
        TDownloadTransfer transfer(Protection, FakeSessions(Script), Files.Services());
        transfer.Now = [this] {
            return Clock;
        };
        return transfer.DownloadFirmware(
            TDownloadRequest{Variant, Settings, std::nullopt, {"images.test", 8080}}, Watch);
    }

    std::vector<std::string> CallsAfter(const std::string& call) {
        auto it = std::find(Script.Calls.begin(), Script.Calls.end(), call);
        return {it == Script.Calls.end() ? it : it + 1, Script.Calls.end()};
    }
};

} // namespace

TEST_F(DownloadTransferTest, AsksForTheImageDirectlyWithoutCache) {
    for (const TVariantKind variant : {TVariantKind::A, TVariantKind::B, TVariantKind::Other}) {
        Script = {};
        Script.Body = PatternBytes(3000);
        Variant = variant;
        const TDownloadResult outcome = Run();
        ASSERT_TRUE(outcome.Ok());
        const char* path = variant == TVariantKind::A ? "/qor-7316-a.bin" : "/qor-7316-b.bin";
        EXPECT_EQ(Script.Request->Path, path);
        EXPECT_EQ(outcome->Source, std::string("http://images.test:8080") + path);
    }
    const THttpRequest& request = *Script.Request;
    EXPECT_EQ(request.Agent, "qor_fw_update");
    EXPECT_FALSE(request.Proxy.has_value()); // direct
    EXPECT_EQ(request.Host, "images.test");
    EXPECT_EQ(request.Port, 8080);
    EXPECT_TRUE(request.AlwaysFromServer);
    EXPECT_FALSE(Script.ProxyPassword.has_value());
}

TEST_F(DownloadTransferTest, ProxyIsNamedBySchemeServerAndPort) {
    Settings.CfgUseProxy = true;
    Settings.CfgProxyServer = "proxy.lan";
    Settings.CfgProxyPort = 3128;
    ASSERT_TRUE(Run().Ok());
    ASSERT_TRUE(Script.Request->Proxy.has_value());
    EXPECT_EQ(Script.Request->Proxy->Name, "http://proxy.lan:3128");
    EXPECT_FALSE(Script.Request->Proxy->Credentials.has_value()); // no authentication asked for

    Script = {};
    Settings.CfgProxyServer.clear();
    Settings.CfgProxyPort = 0;
    (void)Run();
    EXPECT_EQ(Script.Request->Proxy->Name, "http://:0");
}

TEST_F(DownloadTransferTest, CredentialsAreTheUserAndTheUnprotectedPasswordWithItsZero) {
    Settings.CfgUseProxy = true;
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyUser = "tech";
    Settings.CfgProxyPassword = TFakeDataProtection::BlobOf("s3cret");
    ASSERT_TRUE(Run().Ok());
    ASSERT_TRUE(Script.Request->Proxy->Credentials.has_value());
    EXPECT_EQ(Script.Request->Proxy->Credentials->User, "tech");
    ASSERT_TRUE(Script.ProxyPassword.has_value());
    EXPECT_THAT(*Script.ProxyPassword, ElementsAre('s', '3', 'c', 'r', 'e', 't', 0));
    EXPECT_THAT(Script.Calls, ElementsAre("Get", "Close"));

    // An empty user is given as the empty text; a password never entered as the empty one.
    Script = {};
    Settings.CfgProxyUser.clear();
    Settings.CfgProxyPassword.clear();
    ASSERT_TRUE(Run().Ok());
    EXPECT_EQ(Script.Request->Proxy->Credentials->User, "");
    EXPECT_THAT(*Script.ProxyPassword, ElementsAre(0));
}

TEST_F(DownloadTransferTest, AuthenticationWithoutProxyGoesDirectWithoutCredentials) {
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyServer = "proxy.lan";
    Settings.CfgProxyUser = "tech";
    Settings.CfgProxyPassword = TFakeDataProtection::BlobOf("s3cret");
    ASSERT_TRUE(Run().Ok());
    EXPECT_FALSE(Script.Request->Proxy.has_value());
    EXPECT_FALSE(Script.ProxyPassword.has_value());
}

TEST_F(DownloadTransferTest, PasswordThatCannotBeUnprotectedIsNeverSent) {
    Settings.CfgUseProxy = true;
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyPassword = {1, 2, 3, 4}; // another user's or altered
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::ServerFailed);
    EXPECT_EQ(outcome.Error().Text, "Connecting to server failed!");
    EXPECT_THAT(outcome.Error().Detail, HasSubstr("cannot be unprotected"));
    EXPECT_FALSE(Script.ProxyPassword.has_value());
    EXPECT_EQ(Script.Sessions, 0); // nothing was sent anywhere
    EXPECT_EQ(Files.Writes, 0);
}

// A request that fails is a server failure that says why, and closes the session.
TEST_F(DownloadTransferTest, FailedRequestIsAServerFailureWithItsReason) {
    for (const THttpFailure reason :
         {THttpFailure::Setup, THttpFailure::Unreachable, THttpFailure::Silent,
          THttpFailure::BadResponse, THttpFailure::Broken}) {
        Script = {};
        Script.GetFails = THttpError{reason, "HttpSendRequestA failed"};
        Script.Body = PatternBytes(100);
        const TDownloadResult outcome = Run();
        ASSERT_FALSE(outcome.Ok());
        EXPECT_THAT(CallsAfter("Get"), ElementsAre("Close"));
        EXPECT_EQ(outcome.Error().Text, "Connecting to server failed!");
        EXPECT_EQ(outcome.Error().Detail, "HttpSendRequestA failed");
        EXPECT_EQ(Script.HandedOut, 0u);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(DownloadTransferTest, StatusOtherThan200IsShownAfterTheFailureText) {
    Script.Status = "404";
    TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Connecting to server failed!  -  404");
    EXPECT_EQ(outcome.Error().Status, "404");
    EXPECT_THAT(CallsAfter("Get"), ElementsAre("Close"));
    EXPECT_EQ(Files.Writes, 0);

    // The text is in the request's language.
    Settings.CfgLanguage = LangGerman;
    Script = {};
    Script.Status = "503";
    outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Keine Verbindung zum Server möglich!  -  503");
}

// Only the text "200" itself is success: not a number that reads as 200, not another 2xx.
TEST_F(DownloadTransferTest, OnlyTheExactStatusTextIs200) {
    for (const char* status : {"2000", "20", "200 ", " 200", "0200", "201", "299", "2"}) {
        SCOPED_TRACE(status);
        Script = {};
        Script.Status = status;
        Script.Body = PatternBytes(100);
        const TDownloadResult outcome = Run();
        ASSERT_FALSE(outcome.Ok());
        EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::StatusRefused);
        EXPECT_EQ(outcome.Error().Text, std::string("Connecting to server failed!  -  ") + status);
        EXPECT_EQ(Script.HandedOut, 0u);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(DownloadTransferTest, ContentLengthIsReadAsDecimalOrZero) {
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"250000", 250000},          {"0", 0},          {"12ab", 0}, {"-5", 0},
        {"4294967295", 4294967295U}, {"4294967296", 0},
    };
    for (const auto& [text, total] : cases) {
        SCOPED_TRACE(text);
        Script = {};
        Script.ContentLengths = {text};
        (void)Run();
        EXPECT_TRUE(Watch.ResponseCame);
        EXPECT_EQ(Watch.Total, std::optional<std::uint32_t>(total));
    }
    Script = {};
    Script.Body = PatternBytes(10);
    (void)Run();
    EXPECT_EQ(Watch.Total, std::nullopt);
}

// Lengths that disagree leave the body without a frame: the response is refused before its
// body is read. The same length given twice, or listed twice, is one length.
TEST_F(DownloadTransferTest, ContentLengthsThatDisagreeAreRefused) {
    for (const std::vector<std::string>& lengths :
         {std::vector<std::string>{"3", "5"}, {"5", "5", "3"}, {"5, 3"}, {"5", "5,5, 4"}}) {
        SCOPED_TRACE(lengths.back());
        Script = {};
        Script.Body = PatternBytes(5);
        Script.ContentLengths = lengths;
        const TDownloadResult outcome = Run();
        ASSERT_FALSE(outcome.Ok());
        EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
        EXPECT_THAT(outcome.Error().Detail, HasSubstr("two lengths"));
        EXPECT_EQ(Script.HandedOut, 0u);
        EXPECT_EQ(Files.Writes, 0);
    }
    for (const std::vector<std::string>& lengths :
         {std::vector<std::string>{"5", "5"}, {"5, 5"}, {" 5 ", "5"}}) {
        SCOPED_TRACE(lengths.front());
        Script = {};
        Script.Body = PatternBytes(5);
        Script.ContentLengths = lengths;
        const TDownloadResult outcome = Run();
        ASSERT_TRUE(outcome.Ok()) << outcome.Error().Detail;
        EXPECT_EQ(Watch.Total, std::optional<std::uint32_t>(5));
    }
}

TEST_F(DownloadTransferTest, BodyIsReadIn512BytePiecesAndWrittenAfterTheSessionIsClosed) {
    Script.Body = PatternBytes(200'001);
    Script.ContentLengths = {"200001"};
    Script.BeforeRead = [this](std::size_t) {
        Script.Calls.emplace_back("Read");
    };
    const TDownloadResult outcome = Run();
    ASSERT_TRUE(outcome.Ok());
    EXPECT_EQ(Watch.ReceivedBytes, 200'001u);
    EXPECT_EQ(Script.LargestReadAsked, 512u);
    EXPECT_EQ(outcome->SavedAs, "/run/user/1000/qor-7316.bin");
    EXPECT_TRUE(Files.Written["/run/user/1000/qor-7316.bin"] == Script.Body);
    EXPECT_EQ(Script.Calls.back(), "Close");
    // Once before connecting, then after each of the 391 reads (the last one returns 0).
    EXPECT_EQ(Watch.Questions, 1 + 391 + 1);
}

// The caller gets the bytes themselves, the same as the file, in the buffer they were read
// into: room for the largest image, reserved before the transfer.
TEST_F(DownloadTransferTest, SuccessHandsOverTheImageBytesInTheReservedBuffer) {
    Script.Body = PatternBytes(70'000, 4);
    const TDownloadResult outcome = Run();
    ASSERT_TRUE(outcome.Ok());
    EXPECT_TRUE(outcome->Body == Script.Body);
    EXPECT_TRUE(Files.Written[outcome->SavedAs] == Script.Body);
    EXPECT_GE(outcome->Body.capacity(), DownloadBufferSize);
    EXPECT_EQ(outcome->Body.data(), Script.FirstTarget);
}

TEST_F(DownloadTransferTest, TheResponseIsHeardBeforeAnyOfTheBody) {
    std::vector<std::string> heard;
    Script.GetWaits = 3; // a back-end waiting for the network
    Script.Body = PatternBytes(600);
    Script.ContentLengths = {"600"};
    Watch.OnQuestion = [&] {
        heard.push_back(Watch.ResponseCame ? std::to_string(Watch.ReceivedBytes) : "waiting");
    };
    Script.BeforeRead = [&](std::size_t) {
        heard.push_back("read after " + std::to_string(Watch.ReceivedBytes));
    };
    ASSERT_TRUE(Run().Ok());
    EXPECT_THAT(heard, ElementsAre("waiting", "waiting", "waiting", "waiting", "read after 0",
                                   "512", "read after 512", "600", "read after 600", "600"));
}

TEST_F(DownloadTransferTest, CancelStopsBeforeTheNextReadAndWritesNothing) {
    Script.Body = PatternBytes(100'000);
    Watch.OnQuestion = [this] {
        Watch.Cancel = Watch.ReceivedBytes >= 2048;
    };
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::Cancelled);
    EXPECT_EQ(outcome.Error().Text, "Operation cancelled");
    EXPECT_EQ(Watch.ReceivedBytes, 2048u);
    EXPECT_EQ(Script.HandedOut, 2048u);
    EXPECT_EQ(Files.Writes, 0);
    EXPECT_EQ(Script.Calls.back(), "Close");
}

// Asked before it connects, a cancel leaves the network untouched.
TEST_F(DownloadTransferTest, CancelBeforeConnectingMakesNoSession) {
    Watch.Cancel = true;
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::Cancelled);
    EXPECT_EQ(outcome.Error().Text, "Operation cancelled");
    EXPECT_EQ(Watch.Questions, 1);
    EXPECT_EQ(Script.Sessions, 0);
    EXPECT_EQ(Files.Writes, 0);
}

// While the response is awaited, Cancel stops the wait at the next question rather than at
// the response, however long the server takes.
TEST_F(DownloadTransferTest, CancelWhileAwaitingTheResponseEndsTheWaitAtOnce) {
    Script.GetWaits = 1'000'000;
    Watch.OnQuestion = [this] {
        Watch.Cancel = Watch.Questions == 3;
    };
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::Cancelled);
    EXPECT_EQ(Watch.Questions, 3);
    EXPECT_EQ(outcome.Error().Text, "Operation cancelled");
    EXPECT_FALSE(Watch.ResponseCame);
    EXPECT_EQ(Script.HandedOut, 0u);
}

// A server that keeps the transfer alive without finishing it (a head trickled line by line,
// a body at a crawl) is given up at the overall bound, in whichever phase it is.
TEST_F(DownloadTransferTest, TransferEndsAtTheOverallBound) {
    Script.GetWaits = 1'000'000;
    Watch.OnQuestion = [this] {
        Clock += 10s;
    };
    TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::ServerFailed);
    EXPECT_EQ(outcome.Error().Text, "Connecting to server failed!");
    EXPECT_EQ(outcome.Error().Detail, "the download did not finish within 600 s");
    EXPECT_EQ(Watch.Questions, 1 + 60);

    Script = {};
    Watch = {};
    Script.Body = PatternBytes(200'000);
    Script.BeforeRead = [this](std::size_t) {
        Clock += 3s;
    };
    outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::DownloadFailed);
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_EQ(Watch.ReceivedBytes, 200u * 512u);
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(DownloadTransferTest, FailedReadIsADownloadFailureAndKeepsTheOldFile) {
    Script.Body = PatternBytes(10'000);
    Script.FailReadAfter = 4096;
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_EQ(outcome.Error().Detail, "read failed");
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(DownloadTransferTest, BodyThatDoesNotFitTheBufferFailsWithoutWritingPastIt) {
    // Exactly the buffer's size fits.
    Script.Body = PatternBytes(1'500'000);
    ASSERT_TRUE(Run().Ok());
    EXPECT_EQ(Files.Written.begin()->second.size(), 1'500'000u);

    // One byte more without a length: noticed by the read after the buffer is full.
    Script = {};
    Script.Body = PatternBytes(DownloadBufferSize + 1);
    Files.Writes = 0;
    TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_EQ(Watch.ReceivedBytes, DownloadBufferSize);
    EXPECT_EQ(Files.Writes, 0);

    // Announced, the limit itself is taken whole.
    Script = {};
    Script.ContentLengths = {"1500000"};
    Script.Body = PatternBytes(1'500'000);
    ASSERT_TRUE(Run().Ok());
    EXPECT_EQ(Files.Written.begin()->second.size(), 1'500'000u);

    // A length above the buffer fails before reading.
    Script = {};
    Script.ContentLengths = {"1500001"};
    Script.Body = PatternBytes(DownloadBufferSize + 1);
    outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_EQ(Script.HandedOut, 0u);
}

TEST_F(DownloadTransferTest, FileThatCannotBeWrittenIsAFailure) {
    Script.Body = PatternBytes(5000);
    Files.FailWrite = true;
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_THAT(outcome.Error().Detail, HasSubstr("disk full"));
}

TEST_F(DownloadTransferTest, NoTemporaryDirectoryFailsBeforeAnyNetworkAccess) {
    Files.NoDirectory = true;
    const TDownloadResult outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(Script.Sessions, 0);
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
}
