// The transfer over libcurl against the firmware server on loopback, with its faults.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include "sim/FirmwareServer.h"

using namespace qor;
using namespace qor::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

// A loopback socket that is bound and listening; the caller decides whether it ever accepts.
class TListener {
public:
    explicit TListener(int backlog) {
        Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const bool ok = bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                        listen(Fd, backlog) == 0 &&
                        getsockname(Fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        EXPECT_TRUE(ok) << "cannot listen on loopback";
        Port = ntohs(address.sin_port);
    }
    ~TListener() {
        for (int fd : Clients) {
            close(fd);
        }
        close(Fd);
    }
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    // Fills the accept queue, so that the kernel drops the next connection attempts.
    void FillQueue() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(Port);
        // Non-blocking: the handshake completes at once while the queue has room.
        (void)connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd wait{fd, POLLOUT, 0};
        EXPECT_EQ(poll(&wait, 1, 1000), 1);
        Clients.push_back(fd);
    }

    int Fd = -1;
    std::uint16_t Port = 0;
    std::vector<int> Clients;
};

class CurlDownloadTest : public ::testing::Test {
protected:
    TFirmwareServer Server;
    TSettings Settings;
    TFakeDataProtection Protection;
    TMemoryFiles Files;
    TDownloadWatch Watch;
    TVariantKind Variant = TVariantKind::A;
    TCurlLimits Limits{.ConnectTimeout = 2000ms, .StallTimeout = 1s, .PumpInterval = 10ms};
    // The transfer's clock for its overall bound; the real one unless a test moves it on.
    std::optional<std::chrono::steady_clock::time_point> FakeNow;
    std::optional<TDownloadResult> Last;

    CurlDownloadTest() { Settings.CfgLanguage = LangEnglish; }
    void SetUp() override {
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    }

    const TDownloadResult& Run(std::uint16_t port = 0) {
        TDownloadTransfer transfer(
            Protection,
            [this](const THttpWait& wait) {
                return std::make_unique<TCurlHttpSession>(wait, Limits);
            },
            Files.Services());
        if (FakeNow) {
            transfer.Now = [this] {
                return *FakeNow;
            };
        }
        const TDownloadServer server{"127.0.0.1", port != 0 ? port : Server.Port()};
        Last.emplace(transfer.DownloadFirmware(
            TDownloadRequest{Variant, Settings, std::nullopt, server}, Watch));
        return *Last;
    }

    // The status text of the last transfer's failure.
    std::string Label() const { return Last->Ok() ? "(succeeded)" : Last->Error().Text; }
    // What happened to it, when it failed.
    std::string Detail() const { return Last->Ok() ? std::string() : Last->Error().Detail; }

    const std::vector<std::uint8_t>& TempFile() { return Files.Written[Last->Value().SavedAs]; }
};

} // namespace

TEST_F(CurlDownloadTest, DownloadsTheImageWithTheProductsRequest) {
    const auto image = PatternBytes(250'000);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(image));
    ASSERT_TRUE(Run().Ok()) << Detail();
    EXPECT_EQ(Watch.Total, std::optional<std::uint32_t>(250'000));
    EXPECT_EQ(Watch.ReceivedBytes, 250'000u);
    EXPECT_TRUE(TempFile() == image);

    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const TRecordedRequest& request = requests[0];
    EXPECT_EQ(request.RequestLine, "GET /qor-7316-a.bin HTTP/1.1");
    EXPECT_EQ(request.Header("host"), "127.0.0.1:" + std::to_string(Server.Port()));
    EXPECT_EQ(request.Header("user-agent"), "qor_fw_update");
    EXPECT_EQ(request.Header("cache-control"), "no-cache");
    EXPECT_EQ(request.Header("pragma"), "no-cache");
    EXPECT_FALSE(request.Has("proxy-authorization"));
}

TEST_F(CurlDownloadTest, ImageBIsFetchedByItsLetter) {
    const auto image = PatternBytes(4000, 7);
    Server.Serve("/qor-7316-b.bin", TServedFile::Of(image));
    Variant = TVariantKind::B;
    for (int run = 0; run < 2; ++run) {
        Watch = {};
        ASSERT_TRUE(Run().Ok()) << Detail();
        EXPECT_TRUE(TempFile() == image);
    }
    EXPECT_EQ(Server.Requests().at(1).Target, "/qor-7316-b.bin");
}

TEST_F(CurlDownloadTest, ResponseWithoutLengthIsReadToTheEnd) {
    const auto image = PatternBytes(70'000);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(image).NoLength());
    ASSERT_TRUE(Run().Ok()) << Detail();
    EXPECT_EQ(Watch.Total, std::nullopt);
    EXPECT_TRUE(TempFile() == image);
}

TEST_F(CurlDownloadTest, EmptyImageIsDownloadedAsAnEmptyFile) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of({}));
    ASSERT_TRUE(Run().Ok()) << Detail();
    EXPECT_EQ(Watch.Total, std::optional<std::uint32_t>(0));
    EXPECT_EQ(Files.Writes, 1);
    EXPECT_TRUE(TempFile().empty());
}

TEST_F(CurlDownloadTest, BrokenBodyIsADownloadFailure) {
    const auto image = PatternBytes(300'000);
    struct TCase {
        const char* Name;
        TServedFile File;
    };
    const std::vector<TCase> cases = {
        {"reset", TServedFile::Of(image).Failing(TServeFault::ResetMidBody, 100'000)},
        {"shorter than announced", TServedFile::Of(image).AnnouncedLength("400000")},
        {"stalled", TServedFile::Of(image).Failing(TServeFault::StallMidBody, 50'000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Server.Serve("/qor-7316-a.bin", c.File);
        Watch = {};
        EXPECT_FALSE(Run().Ok());
        EXPECT_EQ(Label(), "Error downloading the firmware file!") << Detail();
        EXPECT_EQ(Files.Writes, 0);
    }
}

// libcurl would frame the body by the last length; the transfer takes neither.
TEST_F(CurlDownloadTest, ConflictingLengthsAreRefused) {
    Server.Serve(
        "/qor-7316-a.bin",
        TServedFile::Of(PatternBytes(5)).AnnouncedLength("3").WithHeader("Content-Length", "5"));
    const TDownloadResult& outcome = Run();
    ASSERT_FALSE(outcome.Ok());
    EXPECT_EQ(Label(), "Error downloading the firmware file!");
    EXPECT_EQ(Detail(), "the response gives two lengths, 3 and 5");
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(CurlDownloadTest, ImageLargerThanTheBufferFails) {
    const auto image = PatternBytes(DownloadBufferSize + 1000);
    for (const bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "with length" : "without length");
        Server.Serve("/qor-7316-a.bin",
                     withLength ? TServedFile::Of(image) : TServedFile::Of(image).NoLength());
        Watch = {};
        EXPECT_FALSE(Run().Ok());
        EXPECT_EQ(Label(), "Error downloading the firmware file!");
        EXPECT_LE(Watch.ReceivedBytes, DownloadBufferSize);
        EXPECT_EQ(Files.Writes, 0);
    }
}

// Redirects are followed as WinINet follows them: to plain HTTP addresses, ten in a row at
// most; the image comes from where the last one points.
TEST_F(CurlDownloadTest, RedirectsAreFollowedToPlainHttpTenAtMost) {
    const auto image = PatternBytes(20'000, 2);
    Server.Serve("/image.bin", TServedFile::Of(image));
    for (int hop = 0; hop < HttpMaxRedirects; ++hop) {
        Server.Serve("/hop" + std::to_string(hop),
                     TServedFile::Redirect(
                         hop % 2 == 0 ? 302 : 301,
                         hop + 1 < HttpMaxRedirects
                             ? "/hop" + std::to_string(hop + 1)
                             : "http://127.0.0.1:" + std::to_string(Server.Port()) + "/image.bin"));
    }
    Server.Serve("/qor-7316-a.bin", TServedFile::Redirect(307, "/hop0"));
    Server.Serve("/qor-7316-b.bin", TServedFile::Redirect(302, "/hop1"));
    Server.TakeLog();

    Variant = TVariantKind::B; // ten redirects
    ASSERT_TRUE(Run().Ok()) << Detail();
    EXPECT_TRUE(TempFile() == image);
    EXPECT_EQ(Server.TakeLog().back().Target, "/image.bin");

    Variant = TVariantKind::A; // eleven
    Watch = {};
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_EQ(Detail(), "more than 10 redirects in a row");
    EXPECT_EQ(Server.TakeLog().size(), 11u); // the image itself was never asked for

    for (const char* elsewhere : {"https://127.0.0.1:1/qor-7316-a.bin", "ftp://127.0.0.1/x"}) {
        SCOPED_TRACE(elsewhere);
        Server.Serve("/qor-7316-a.bin", TServedFile::Redirect(302, elsewhere));
        Watch = {};
        EXPECT_FALSE(Run().Ok());
        EXPECT_EQ(Label(), "Connecting to server failed!");
        EXPECT_THAT(Detail(), HasSubstr("not plain HTTP"));
    }
    // A redirect status without a place to go is the answer itself.
    TServedFile nowhere = TServedFile::Of({});
    nowhere.Status = 302;
    nowhere.Reason = "Found";
    Server.Serve("/qor-7316-a.bin", nowhere);
    Watch = {};
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!  -  302");
}

TEST_F(CurlDownloadTest, UnansweredRequestFailsAtTheStallLimitWhileTheGuiIsServed) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of({}).Failing(TServeFault::StallBeforeHeaders));
    bool connectingWhileAsked = true;
    Watch.OnQuestion = [this, &connectingWhileAsked] {
        connectingWhileAsked = connectingWhileAsked && !Watch.ResponseCame;
    };
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_THAT(Detail(), HasSubstr("no data from the server for 1 s"));
    EXPECT_GT(Watch.Questions, 5);
    EXPECT_TRUE(connectingWhileAsked);
}

// A head that comes a line at a time never meets the silence bound; the overall bound ends it
// (the transfer's clock moves 10 s a question here), Cancel ends it at once, and a connection
// that closes in the middle of it is said to have done so.
TEST_F(CurlDownloadTest, TrickledHeadIsEndedByTheBoundCancelOrItsEnd) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(100)).TrickledHeaders(5ms));
    FakeNow = std::chrono::steady_clock::time_point{};
    Watch.OnQuestion = [this] {
        *FakeNow += 10s;
    };
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_EQ(Detail(), "the download did not finish within 600 s");
    EXPECT_EQ(Watch.Questions, 61);

    FakeNow.reset();
    Limits.StallTimeout = 60s;
    Watch.Questions = 0;
    Watch.OnQuestion = [this] {
        if (Watch.Questions == 20) {
            Watch.Cancel = true;
        }
    };
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Operation cancelled");
    EXPECT_EQ(Watch.Questions, 20);

    Watch = {};
    Watch.OnQuestion = [this] {
        if (Watch.Questions == 20) {
            Server.Stop(); // the connection closes after a few header lines
        }
    };
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_EQ(Detail(), "the connection ended before the response's head was complete");
}

TEST_F(CurlDownloadTest, OversizedHeadsAreNamedAsSuch) {
    Server.Serve(
        "/qor-7316-a.bin",
        TServedFile::Of(PatternBytes(100)).WithHeader("X-Long", std::string(200'000, 'x')));
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_EQ(Detail(), "the response has a header line longer than 102400 bytes");

    TServedFile many = TServedFile::Of(PatternBytes(100));
    for (int line = 0; line < 100; ++line) {
        many.WithHeader("X-Line-" + std::to_string(line), std::string(1000, 'y'));
    }
    Server.Serve("/qor-7316-a.bin", many);
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Detail(), "the response's head is longer than 65536 bytes");
}

TEST_F(CurlDownloadTest, ServerThatIsDownFailsAsAServerFailure) {
    std::uint16_t closedPort = 0;
    {
        const TListener gone(1);
        closedPort = gone.Port;
    }
    EXPECT_FALSE(Run(closedPort).Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");

    // A server whose queue is full never completes the handshake: the connect time-out ends it.
    TListener full(0);
    full.FillQueue();
    Limits.ConnectTimeout = 300ms;
    Watch = {};
    EXPECT_FALSE(Run(full.Port).Ok());
    EXPECT_EQ(Label(), "Connecting to server failed!");
    EXPECT_THAT(Detail(), HasSubstr("Timeout"));
}

// Cancel is served at the next question whether the connection is still being made, the server is
// silent or the body is coming: the limits here are far beyond the test's length.
TEST_F(CurlDownloadTest, CancelTakesEffectAtTheNextQuestionInEveryPhase) {
    Limits = {.ConnectTimeout = 60'000ms, .StallTimeout = 60s, .PumpInterval = 10ms};
    TListener full(0);
    full.FillQueue();
    Server.Serve("/silent", TServedFile::Of({}).Failing(TServeFault::StallBeforeHeaders));
    Server.Serve("/stalled",
                 TServedFile::Of(PatternBytes(50'000)).Failing(TServeFault::StallMidBody, 10'000));
    struct TPhase {
        const char* Name;
        std::uint16_t Port;
        const char* Path;
        std::uint32_t BodyBefore; // the bytes that come before the server falls silent
    };
    for (const TPhase& phase : {TPhase{"connecting", full.Port, "/qor-7316-a.bin", 0},
                                TPhase{"silent server", Server.Port(), "/silent", 0},
                                TPhase{"stalled body", Server.Port(), "/stalled", 10'000}}) {
        SCOPED_TRACE(phase.Name);
        Server.Serve("/qor-7316-a.bin", TServedFile::Redirect(302, phase.Path));
        Watch = {};
        int cancelledAt = 0;
        Watch.OnQuestion = [&] {
            if (cancelledAt == 0 && Watch.Questions > 10 &&
                Watch.ReceivedBytes == phase.BodyBefore) {
                cancelledAt = Watch.Questions;
                Watch.Cancel = true;
            }
        };
        const TDownloadResult& outcome = Run(phase.Port);
        ASSERT_FALSE(outcome.Ok());
        EXPECT_EQ(outcome.Error().Reason, TDownloadFailure::Cancelled) << Detail();
        EXPECT_EQ(Label(), "Operation cancelled");
        EXPECT_EQ(Watch.Questions, cancelledAt);
        EXPECT_EQ(Watch.ReceivedBytes, phase.BodyBefore);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(CurlDownloadTest, CancelAnsweredMidBodyStopsASlowTransfer) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(200'000)).Slowly(2048, 2ms));
    Watch.OnQuestion = [this] {
        if (Watch.ReceivedBytes >= 10'000) {
            Watch.Cancel = true;
        }
    };
    EXPECT_FALSE(Run().Ok());
    EXPECT_EQ(Label(), "Operation cancelled");
    EXPECT_LT(Watch.ReceivedBytes, 200'000u);
    EXPECT_EQ(Files.Writes, 0);
}

TEST_F(CurlDownloadTest, AuthenticationWithoutProxyGoesDirectAndSendsNoCredentials) {
    std::uint16_t deadProxy = 0;
    {
        const TListener gone(1);
        deadProxy = gone.Port;
    }
    Settings.CfgUseProxyAuth = true;
    Settings.CfgProxyServer = "127.0.0.1";
    Settings.CfgProxyPort = deadProxy;
    Settings.CfgProxyUser = "user";
    Settings.CfgProxyPassword = TFakeDataProtection::BlobOf("pass");
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(1000)));
    ASSERT_TRUE(Run().Ok()) << Detail();
    EXPECT_FALSE(Server.Requests().at(0).Has("proxy-authorization"));
}

TEST_F(CurlDownloadTest, DirectAccessIgnoresProxiesNamedByTheEnvironment) {
    std::uint16_t deadProxy = 0;
    {
        const TListener gone(1);
        deadProxy = gone.Port;
    }
    const std::string proxy = "http://127.0.0.1:" + std::to_string(deadProxy);
    const TEnvironment lower("http_proxy", proxy);
    const TEnvironment upper("HTTP_PROXY", proxy);
    const TEnvironment all("all_proxy", proxy);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(1000)));
    EXPECT_TRUE(Run().Ok()) << Detail();
}

// The session hands out no more than it buffers, whatever the caller asks for, and the
// pausing in between loses or repeats nothing.
TEST(CurlHttpSessionTest, HandsOutTheBodyFromABoundedBuffer) {
    TFirmwareServer server;
    const auto started = server.Start();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    const auto image = PatternBytes(1'000'000, 3);
    server.Serve("/big", TServedFile::Of(image));
    TCurlHttpSession session({});
    THttpRequest request;
    request.Host = "127.0.0.1";
    request.Port = server.Port();
    request.Path = "/big";
    request.Agent = "agent";
    request.AlwaysFromServer = false;
    const THttpResult<THttpResponse> response = session.Get(request);
    ASSERT_TRUE(response.Ok()) << response.Error().Detail;
    EXPECT_EQ(response->Status, "200");
    EXPECT_THAT(response->ContentLengths, ::testing::ElementsAre("1000000"));

    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> buffer(std::size_t{256} * 1024);
    std::size_t largest = 0;
    for (;;) {
        const auto count = session.Read(buffer);
        ASSERT_TRUE(count.Ok()) << count.Error().Detail;
        if (*count == 0) {
            break;
        }
        largest = std::max(largest, *count);
        received.insert(received.end(), buffer.begin(), buffer.begin() + *count);
    }
    EXPECT_LE(largest, TCurlHttpSession::BufferCapacity());
    EXPECT_TRUE(received == image);
    EXPECT_FALSE(server.Requests().at(0).Has("cache-control"));
}
