#include "download/WinInetHttpSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/TextTable.h"
#include "download/DownloadTransfer.h"
#include "platform/TempDir.h"
#include "qortest/DownloadWatch.h"
#include "qortest/PatternBytes.h"
#include "secrets/DpapiProtection.h"
#include "sim/FirmwareServer.h"

namespace qor {
namespace {

using namespace std::chrono_literals;
using TBytes = std::vector<std::uint8_t>;
using test::PatternBytes;
using ::testing::HasSubstr;

constexpr const char* Agent = "qor_fw_update";
constexpr const char* ImagePath = "/qor-7316-a.bin";

// Reads the body in the download's 512-byte pieces; the failure when a read fails.
THttpResult<TBytes> ReadBody(IHttpSession& session, std::vector<std::size_t>* pieces = nullptr) {
    TBytes body;
    std::uint8_t buffer[512];
    for (;;) {
        const auto got = session.Read(buffer);
        if (!got) {
            return TFailure{got.Error()};
        }
        if (pieces != nullptr) {
            pieces->push_back(*got);
        }
        if (*got == 0) {
            return body;
        }
        body.insert(body.end(), buffer, buffer + *got);
    }
}

class WinInetSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    }

    // A direct request to the loopback server.
    THttpRequest To(const std::string& path) const { return To(path, Server.Port()); }
    static THttpRequest To(const std::string& path, std::uint16_t port) {
        THttpRequest request;
        request.Host = "127.0.0.1";
        request.Port = port;
        request.Path = path;
        request.Agent = Agent;
        return request;
    }

    TFirmwareServer Server;
    int Pumps = 0;
    std::function<bool()> StopAsked;
    TWinInetLimits Limits;
    std::unique_ptr<TWinInetHttpSession> Session = NewSession();

    std::unique_ptr<TWinInetHttpSession> NewSession() {
        return std::make_unique<TWinInetHttpSession>(THttpWait{[this] { ++Pumps; },
                                                               [this] {
                                                                   return StopAsked && StopAsked();
                                                               }},
                                                     Limits);
    }
};

TEST_F(WinInetSessionTest, TheImageComesIn512BytePiecesWithItsStatusAndLength) {
    const TBytes image = PatternBytes(5000, 3);
    Server.Serve(ImagePath, TServedFile::Of(image));

    const auto response = Session->Get(To(ImagePath));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "200");
    EXPECT_THAT(response->ContentLengths, ::testing::ElementsAre("5000"));
    std::vector<std::size_t> pieces;
    const auto body = ReadBody(*Session, &pieces);
    ASSERT_TRUE(body.Ok()) << body.Error().Detail;
    EXPECT_EQ(*body, image);
    EXPECT_THAT(pieces, ::testing::Each(::testing::Le(512U)));
    EXPECT_EQ(pieces.back(), 0U);
    Session.reset();

    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].Method, "GET");
    EXPECT_EQ(requests[0].Target, ImagePath);
    EXPECT_EQ(requests[0].Header("user-agent"), Agent);
    EXPECT_EQ(requests[0].Header("pragma"), "no-cache");
}

// The bytes a Basic credential carries.
std::string DecodedBasic(const std::string& header) {
    constexpr std::string_view Prefix = "Basic ";
    constexpr std::string_view Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (header.compare(0, Prefix.size(), Prefix) != 0) {
        return {};
    }
    std::string bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : header.substr(Prefix.size())) {
        const auto at = Alphabet.find(c);
        if (at == std::string_view::npos) {
            break;
        }
        bits = (bits << 6U) | static_cast<std::uint32_t>(at);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> static_cast<unsigned>(count)) & 0xFFU);
        }
    }
    return bytes;
}

// A proxy that asks for credentials gets the user's name and password as the user typed
// them: WinINet is given them as wide texts, not our UTF-8 read in the ANSI code page.
TEST_F(WinInetSessionTest, AProxyGetsTheCredentialsWithTheirUmlauts) {
    TServedFile challenge;
    challenge.Status = 407;
    challenge.Reason = "Proxy Authentication Required";
    challenge.WithHeader("Proxy-Authenticate", "Basic realm=\"workshop\"");
    Server.Serve(ImagePath, std::move(challenge));
    THttpRequest request = To(ImagePath);
    request.Proxy.emplace();
    request.Proxy->Name = "http://127.0.0.1:" + std::to_string(Server.Port());
    request.Proxy->Credentials.emplace();
    request.Proxy->Credentials->User = "Müller";
    const std::string password = "Gerät-7316";
    request.Proxy->Credentials->Password = TSecretBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(password.c_str()), password.size() + 1));

    const auto response = Session->Get(request);
    Session.reset();

    std::vector<std::string> sent;
    for (const TServedRequest& seen : Server.Requests()) {
        if (seen.Has("proxy-authorization")) {
            sent.push_back(DecodedBasic(seen.Header("proxy-authorization")));
        }
    }
    ASSERT_FALSE(sent.empty()) << (response ? response->Status : response.Error().Detail);
    // Wine's WinINet sends the characters in UTF-8.
    EXPECT_THAT(sent, ::testing::Each(std::string("Müller:Gerät-7316")));
}

TEST_F(WinInetSessionTest, ABodyWithoutALengthRunsToTheEndOfTheConnection) {
    const TBytes image = PatternBytes(3000, 4);
    Server.Serve(ImagePath, TServedFile::Of(image).NoLength());

    const auto response = Session->Get(To(ImagePath));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "200");
    EXPECT_TRUE(response->ContentLengths.empty());
    const auto body = ReadBody(*Session);
    ASSERT_TRUE(body.Ok()) << body.Error().Detail;
    EXPECT_EQ(*body, image);
}

TEST_F(WinInetSessionTest, AMissingFileAnswersWithItsStatusText) {
    const auto response = Session->Get(To("/qor-7316-b.bin"));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "404");
}

// Every Content-Length comes back as sent, so the transfer can see them disagree.
TEST_F(WinInetSessionTest, EveryContentLengthIsReported) {
    Server.Serve(
        ImagePath,
        TServedFile::Of(PatternBytes(5)).AnnouncedLength("3").WithHeader("Content-Length", "5"));
    const auto response = Session->Get(To(ImagePath));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_THAT(response->ContentLengths, ::testing::ElementsAre("3", "5"));
}

TEST_F(WinInetSessionTest, ABodyThatEndsShortOfItsLengthIsAFailedRead) {
    Server.Serve("/reset",
                 TServedFile::Of(PatternBytes(5000)).Failing(TServeFault::ResetMidBody, 2000));
    Server.Serve("/short", TServedFile::Of(PatternBytes(5000)).AnnouncedLength("6000"));

    auto response = Session->Get(To("/reset"));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    ASSERT_THAT(response->ContentLengths, ::testing::ElementsAre("5000"));
    auto body = ReadBody(*Session);
    ASSERT_FALSE(body.Ok());
    EXPECT_THAT(body.Error().Detail, HasSubstr("of the 5000 bytes"));

    Session = NewSession();
    response = Session->Get(To("/short"));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    ASSERT_THAT(response->ContentLengths, ::testing::ElementsAre("6000"));
    body = ReadBody(*Session);
    ASSERT_FALSE(body.Ok());
    EXPECT_EQ(body.Error().Reason, THttpFailure::Broken);
    EXPECT_THAT(body.Error().Detail, HasSubstr("after 5000 of the 6000 bytes"));
}

TEST_F(WinInetSessionTest, TheCallerIsPumpedWhileTheServerKeepsItWaiting) {
    Server.Serve(ImagePath, TServedFile::Of(PatternBytes(100)).AnsweredAfter(300ms));

    const auto response = Session->Get(To(ImagePath));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;

    // Every 10 ms at most, so well over ten times in 300 ms.
    EXPECT_GT(Pumps, 10);
    EXPECT_EQ(response->Status, "200");
}

// A stop is answered at the next pump while the library still waits: for the response of a
// silent server or for the rest of a stalled body. The library's own time-outs are far off.
// (Each server of its own: where closing the handle does not end the call, the abandoned call
// keeps its connection until the server goes.)
TEST_F(WinInetSessionTest, AStopEndsTheWaitAtTheNextPump) {
    Limits.Silence = 120s;
    Server.Serve("/silent", TServedFile::Of({}).Failing(TServeFault::StallBeforeHeaders));
    TFirmwareServer stalling;
    const auto started = stalling.Start();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    stalling.Serve("/stalled",
                   TServedFile::Of(PatternBytes(5000)).Failing(TServeFault::StallMidBody, 1000));
    StopAsked = [this] {
        return Pumps >= 5;
    };

    Session = NewSession();
    const auto silent = Session->Get(To("/silent"));
    ASSERT_FALSE(silent.Ok());
    EXPECT_EQ(silent.Error().Reason, THttpFailure::Stopped);
    EXPECT_EQ(Pumps, 5);

    Pumps = -1'000'000; // not while the head comes
    Session = NewSession();
    ASSERT_TRUE(Session->Get(To("/stalled", stalling.Port())).Ok());
    Pumps = 0;
    const auto body = ReadBody(*Session);
    ASSERT_FALSE(body.Ok());
    EXPECT_EQ(body.Error().Reason, THttpFailure::Stopped);
    EXPECT_EQ(Pumps, 5);
    Session.reset(); // with a read still running in the library
}

TEST_F(WinInetSessionTest, ASilentServerFailsAtTheSilenceBound) {
    Limits.Silence = 500ms;
    Server.Serve("/silent", TServedFile::Of({}).Failing(TServeFault::StallBeforeHeaders));
    Session = NewSession();
    const auto response = Session->Get(To("/silent"));
    ASSERT_FALSE(response.Ok());
    EXPECT_NE(response.Error().Reason, THttpFailure::Stopped);
    EXPECT_THAT(response.Error().Detail, HasSubstr("HttpSendRequestW failed"));
}

// Redirects as libcurl is told to take them: followed to plain HTTP addresses, ten in a row at
// most, and a redirect status with nowhere to go is the answer itself.
TEST_F(WinInetSessionTest, RedirectsAreFollowedToPlainHttpTenAtMost) {
    const TBytes image = PatternBytes(2000, 6);
    Server.Serve("/image.bin", TServedFile::Of(image));
    for (int hop = 0; hop < HttpMaxRedirects; ++hop) {
        Server.Serve("/hop" + std::to_string(hop),
                     TServedFile::Redirect(
                         hop % 2 == 0 ? 302 : 301,
                         hop + 1 < HttpMaxRedirects
                             ? "/hop" + std::to_string(hop + 1)
                             : "http://127.0.0.1:" + std::to_string(Server.Port()) + "/image.bin"));
    }
    Server.Serve("/ten", TServedFile::Redirect(302, "/hop1"));
    Server.Serve("/eleven", TServedFile::Redirect(307, "hop0"));

    auto response = Session->Get(To("/ten"));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "200");
    const auto body = ReadBody(*Session);
    ASSERT_TRUE(body.Ok()) << body.Error().Detail;
    EXPECT_EQ(*body, image);
    EXPECT_EQ(Server.Requests().back().Target, "/image.bin");
    EXPECT_EQ(Server.Requests().size(), 11U);

    Session = NewSession();
    response = Session->Get(To("/eleven"));
    ASSERT_FALSE(response.Ok());
    EXPECT_EQ(response.Error().Detail, "more than 10 redirects in a row");
    EXPECT_EQ(Server.Requests().size(), 11U + 11U);

    for (const char* elsewhere : {"https://127.0.0.1:1/x", "ftp://127.0.0.1/x"}) {
        SCOPED_TRACE(elsewhere);
        Server.Serve("/away", TServedFile::Redirect(302, elsewhere));
        Session = NewSession();
        response = Session->Get(To("/away"));
        ASSERT_FALSE(response.Ok());
        EXPECT_THAT(response.Error().Detail, HasSubstr("not plain HTTP"));
    }

    TServedFile nowhere = TServedFile::Of({});
    nowhere.Status = 302;
    nowhere.Reason = "Found";
    Server.Serve("/nowhere", nowhere);
    Session = NewSession();
    response = Session->Get(To("/nowhere"));
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "302");
}

TEST_F(WinInetSessionTest, ANonexistentServerFailsWithTheLibrarysReason) {
    // Nobody listens on the port of a server that has gone.
    std::uint16_t port = 0;
    {
        TFirmwareServer gone;
        const auto started = gone.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
        port = gone.Port();
    }
    THttpRequest request = To(ImagePath);
    request.Port = port;
    const auto response = Session->Get(request);
    ASSERT_FALSE(response.Ok());
    EXPECT_THAT(response.Error().Detail, HasSubstr("HttpSendRequestW failed"));
}

// The whole download on the Windows back-ends: WinINet, the temporary directory, the write.
TEST(WinInetDownload, TheImageEndsUpInTheTemporaryFile) {
    TFirmwareServer server;
    const auto started = server.Start();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    const TBytes image = PatternBytes(63488, 9);
    server.Serve("/qor-7316-b.bin", TServedFile::Of(image));
    std::random_device seed;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qor-dl-" + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    TDownloadFiles files = PlatformDownloadFiles();
    files.TempDirectory = [&]() -> TResult<std::string> {
        return dir.string() + "\\";
    };
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TDpapiProtection protection;
    TDownloadTransfer transfer(protection, WinInetHttpSessions(), files);
    test::TDownloadWatch watch;

    const TDownloadResult outcome = transfer.DownloadFirmware(
        TDownloadRequest{TVariantKind::B, settings, std::nullopt, {"127.0.0.1", server.Port()}},
        watch);
    ASSERT_TRUE(outcome.Ok()) << outcome.Error().Detail;

    EXPECT_EQ(watch.Total, std::optional<std::uint32_t>(image.size()));
    EXPECT_EQ(outcome->Body, image);
    EXPECT_GE(watch.Questions, 63488 / 512);
    std::ifstream in(outcome->SavedAs, std::ios::binary);
    EXPECT_EQ(TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), image);
    in.close();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// Lengths that disagree are refused on this system too, before the body is read.
TEST(WinInetDownload, ConflictingLengthsAreRefused) {
    TFirmwareServer server;
    const auto started = server.Start();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    server.Serve(
        "/qor-7316-a.bin",
        TServedFile::Of(PatternBytes(5)).AnnouncedLength("3").WithHeader("Content-Length", "5"));
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TDpapiProtection protection;
    int writes = 0;
    TDownloadFiles files{[]() -> TResult<std::string> { return std::string("C:\\"); },
                         [&](const std::string&, std::span<const std::uint8_t>) -> TResult<void> {
                             ++writes;
                             return {};
                         }};
    TDownloadTransfer transfer(protection, WinInetHttpSessions(), files);
    test::TDownloadWatch watch;
    const TDownloadResult outcome = transfer.DownloadFirmware(
        TDownloadRequest{TVariantKind::A, settings, std::nullopt, {"127.0.0.1", server.Port()}},
        watch);
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(outcome.Error().Text, "Error downloading the firmware file!");
    EXPECT_EQ(outcome.Error().Detail, "the response gives two lengths, 3 and 5");
    EXPECT_EQ(writes, 0);
}

} // namespace
} // namespace qor
