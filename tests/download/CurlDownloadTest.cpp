// The transfer over libcurl against a real server on loopback, with its faults.
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
#include "download/LoopbackHttpServer.h"
#include "download/MemoryFiles.h"
#include "support/Environment.h"
#include "support/FakeDataProtection.h"

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
    TLoopbackHttpServer Server;
    TSettings Settings;
    TFakeDataProtection Protection;
    TMemoryFiles Files;
    TDownloadState State;
    TCurlLimits Limits{.ConnectTimeout = 2000ms, .StallTimeout = 1s, .PumpInterval = 10ms};
    int Pumps = 0;
    std::function<void()> OnPump;

    CurlDownloadTest() { Settings.CfgLanguage = LangEnglish; }

    bool Run(std::uint16_t port = 0) {
        TDownloadTransfer transfer(
            Settings, Protection,
            [this](const TPump& pump) { return std::make_unique<TCurlHttpSession>(pump, Limits); },
            Files.Services());
        transfer.Server = {"127.0.0.1", port != 0 ? port : Server.Port()};
        return transfer.DownloadFirmware(State, [this] {
            ++Pumps;
            if (OnPump) {
                OnPump();
            }
        });
    }

    const std::vector<std::uint8_t>& TempFile() { return Files.Written[State.TempFilePath]; }
};

} // namespace

TEST_F(CurlDownloadTest, DownloadsTheImageWithTheProductsRequest) {
    const auto image = PatternBytes(250'000);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(image));
    State.DeviceVariant = 0;
    ASSERT_TRUE(Run()) << State.FailureDetail;
    EXPECT_TRUE(State.DownloadOK);
    EXPECT_TRUE(State.SizeKnown);
    EXPECT_EQ(State.TotalBytes, 250'000u);
    EXPECT_EQ(State.ReceivedBytes, 250'000u);
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

TEST_F(CurlDownloadTest, OtherVariantsGetImageB) {
    const auto image = PatternBytes(4000, 7);
    Server.Serve("/qor-7316-b.bin", TServedFile::Of(image));
    for (std::uint8_t variant : {1, 2}) {
        State = TDownloadState{};
        State.DeviceVariant = variant;
        ASSERT_TRUE(Run()) << State.FailureDetail;
        EXPECT_TRUE(TempFile() == image);
    }
    EXPECT_EQ(Server.Requests().at(1).Target, "/qor-7316-b.bin");
}

TEST_F(CurlDownloadTest, ResponseWithoutLengthIsReadToTheEnd) {
    const auto image = PatternBytes(70'000);
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(image).NoLength());
    State.DeviceVariant = 0;
    ASSERT_TRUE(Run()) << State.FailureDetail;
    EXPECT_FALSE(State.SizeKnown);
    EXPECT_TRUE(TempFile() == image);
}

TEST_F(CurlDownloadTest, EmptyImageIsDownloadedAsAnEmptyFile) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of({}));
    State.DeviceVariant = 0;
    ASSERT_TRUE(Run()) << State.FailureDetail;
    EXPECT_TRUE(State.SizeKnown);
    EXPECT_EQ(State.TotalBytes, 0u);
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
        State = TDownloadState{};
        State.DeviceVariant = 0;
        EXPECT_FALSE(Run());
        EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!")
            << State.FailureDetail;
        EXPECT_FALSE(State.DownloadOK);
        EXPECT_FALSE(State.Busy);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(CurlDownloadTest, ImageLargerThanTheBufferFails) {
    const auto image = PatternBytes(DownloadBufferSize + 1000);
    for (const bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "with length" : "without length");
        Server.Serve("/qor-7316-a.bin",
                     withLength ? TServedFile::Of(image) : TServedFile::Of(image).NoLength());
        State = TDownloadState{};
        State.DeviceVariant = 0;
        EXPECT_FALSE(Run());
        EXPECT_EQ(State.View.LStatus, "Error downloading the firmware file!");
        EXPECT_LE(State.ReceivedBytes, DownloadBufferSize);
        EXPECT_EQ(Files.Writes, 0);
    }
}

TEST_F(CurlDownloadTest, UnansweredRequestFailsAtTheStallLimitWhileTheGuiIsServed) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of({}).Failing(TServeFault::StallBeforeHeaders));
    State.DeviceVariant = 0;
    bool connectingWhilePumped = true;
    OnPump = [this, &connectingWhilePumped] {
        connectingWhilePumped = connectingWhilePumped && State.AwaitingResponse &&
                                State.View.LStatus == "Connecting...";
    };
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Connecting to server failed!");
    EXPECT_THAT(State.FailureDetail, HasSubstr("no data from the server for 1 s"));
    EXPECT_GT(Pumps, 5);
    EXPECT_TRUE(connectingWhilePumped);
}

TEST_F(CurlDownloadTest, ServerThatIsDownFailsAsAServerFailure) {
    std::uint16_t closedPort = 0;
    {
        const TListener gone(1);
        closedPort = gone.Port;
    }
    EXPECT_FALSE(Run(closedPort));
    EXPECT_EQ(State.View.LStatus, "Connecting to server failed!");

    // A server whose queue is full never completes the handshake: the connect time-out ends it.
    TListener full(0);
    full.FillQueue();
    Limits.ConnectTimeout = 300ms;
    State = TDownloadState{};
    EXPECT_FALSE(Run(full.Port));
    EXPECT_EQ(State.View.LStatus, "Connecting to server failed!");
    EXPECT_THAT(State.FailureDetail, HasSubstr("Timeout"));
}

TEST_F(CurlDownloadTest, CancelFromThePumpStopsASlowTransfer) {
    Server.Serve("/qor-7316-a.bin", TServedFile::Of(PatternBytes(200'000)).Slowly(2048, 2ms));
    State.DeviceVariant = 0;
    OnPump = [this] {
        if (State.ReceivedBytes >= 10'000) {
            State.Busy = false;
        }
    };
    EXPECT_FALSE(Run());
    EXPECT_EQ(State.View.LStatus, "Operation cancelled");
    EXPECT_LT(State.ReceivedBytes, 200'000u);
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
    State.DeviceVariant = 0;
    ASSERT_TRUE(Run()) << State.FailureDetail;
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
    State.DeviceVariant = 0;
    EXPECT_TRUE(Run()) << State.FailureDetail;
}

// The session hands out no more than it buffers, whatever the caller asks for, and the
// pausing in between loses or repeats nothing.
TEST(CurlHttpSessionTest, HandsOutTheBodyFromABoundedBuffer) {
    TLoopbackHttpServer server;
    const auto image = PatternBytes(1'000'000, 3);
    server.Serve("/big", TServedFile::Of(image));
    TCurlHttpSession session({});
    ASSERT_TRUE(session.Open("agent", THttpAccess::Direct, "", ""));
    ASSERT_TRUE(session.Connect("127.0.0.1", server.Port()));
    ASSERT_TRUE(session.OpenRequest("GET", "/big", false));
    ASSERT_TRUE(session.SendRequest()) << session.LastError();
    EXPECT_EQ(session.QueryStatusCode(), "200");
    EXPECT_EQ(session.QueryContentLength(), "1000000");

    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> buffer(std::size_t{256} * 1024);
    std::size_t largest = 0;
    for (;;) {
        const auto count = session.Read(buffer);
        ASSERT_TRUE(count.has_value()) << session.LastError();
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
