// The demo's firmware server over real loopback sockets.
#include <gtest/gtest.h>

#include "qortest/HttpClient.h"
#include "sim/FirmwareServer.h"

namespace qor::test {
namespace {

class FirmwareServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Server.Serve("/qor-7316-a.bin", {1, 2, 3, 4, 5});
        Server.Serve("/qor-7316-b.bin", std::vector<std::uint8_t>(100000, 0x5A));
        const auto started = Server.Start();
        ASSERT_TRUE(started.Ok()) << started.Error().Reason;
        ASSERT_NE(Server.Port(), 0);
    }
    TFirmwareServer Server;
};

TEST_F(FirmwareServerTest, ServesEachFileWithItsLengthAndRecordsIt) {
    const THttpReply a = Get(Server.Port(), "/qor-7316-a.bin");
    EXPECT_EQ(a.StatusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(a.Headers.at("content-length"), "5");
    EXPECT_EQ(a.Headers.at("connection"), "close");
    EXPECT_EQ(a.Body, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));

    const THttpReply b = Get(Server.Port(), "/qor-7316-b.bin");
    EXPECT_EQ(b.Headers.at("content-length"), "100000");
    EXPECT_EQ(b.Body, std::vector<std::uint8_t>(100000, 0x5A));

    const auto log = Server.TakeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Target, "/qor-7316-a.bin");
    EXPECT_EQ(log[0].Status, 200);
    EXPECT_EQ(log[1].BodyBytes, 100000u);
    EXPECT_TRUE(Server.TakeLog().empty());
}

TEST_F(FirmwareServerTest, AnswersOtherPathsWith404) {
    for (const char* target : {"/", "/qor-7316-c.bin", "/qor-7316-a.bin/", "/QOR-7316-A.BIN"}) {
        const THttpReply reply = Get(Server.Port(), target);
        EXPECT_EQ(reply.StatusLine, "HTTP/1.1 404 Not Found") << target;
        EXPECT_EQ(reply.Headers.at("content-length"), std::to_string(reply.Body.size()));
    }
}

TEST_F(FirmwareServerTest, TakesProxyFormTargetsAndIgnoresQueries) {
    EXPECT_EQ(Get(Server.Port(), "http://firmware.example:80/qor-7316-a.bin").Body.size(), 5u);
    EXPECT_EQ(Get(Server.Port(), "/qor-7316-a.bin?x=1").Body.size(), 5u);
}

TEST_F(FirmwareServerTest, HeadGivesTheLengthWithoutTheBody) {
    const THttpReply reply = Request(Server.Port(), "HEAD /qor-7316-b.bin HTTP/1.1\r\n\r\n");
    EXPECT_EQ(reply.StatusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(reply.Headers.at("content-length"), "100000");
    EXPECT_TRUE(reply.Body.empty());
}

TEST_F(FirmwareServerTest, RefusesMalformedRequestsAndOtherMethods) {
    EXPECT_EQ(Request(Server.Port(), "GARBAGE\r\n\r\n").StatusLine, "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(Request(Server.Port(), "GET /qor-7316-a.bin SPDY/3\r\n\r\n").StatusLine,
              "HTTP/1.1 400 Bad Request");
    const THttpReply post =
        Request(Server.Port(), "POST /qor-7316-a.bin HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(post.StatusLine, "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(post.Headers.at("allow"), "GET, HEAD");
}

TEST_F(FirmwareServerTest, DropsAHeadThatNeverEnds) {
    TSocket socket(Server.Port());
    ASSERT_TRUE(socket.Connected);
    ASSERT_TRUE(socket.Send("GET /" + std::string(9000, 'x')));
    EXPECT_FALSE(ParseReply(socket.ReceiveAll()).Complete);
    // And goes on serving.
    EXPECT_EQ(Get(Server.Port(), "/qor-7316-a.bin").Body.size(), 5u);
}

TEST_F(FirmwareServerTest, ServesTheNewBodyOfAReplacedFile) {
    Server.Serve("/qor-7316-a.bin", {9});
    EXPECT_EQ(Get(Server.Port(), "/qor-7316-a.bin").Body, std::vector<std::uint8_t>{9});
}

TEST_F(FirmwareServerTest, StopsWhileAClientHoldsASilentConnection) {
    TSocket silent(Server.Port());
    ASSERT_TRUE(silent.Connected);
    const std::uint16_t port = Server.Port();
    Server.Stop();
    EXPECT_FALSE(Server.Running());
    EXPECT_TRUE(silent.ReceiveAll().empty()); // closed without an answer
    EXPECT_FALSE(TSocket(port).Connected);
}

TEST(FirmwareServerLifetime, StartsAgainAfterAStopAndStopsTwice) {
    TFirmwareServer server;
    server.Serve("/x", {1});
    const auto started = server.Start();
    ASSERT_TRUE(started.Ok()) << started.Error().Reason;
    server.Stop();
    server.Stop();
    const auto restarted = server.Start();
    ASSERT_TRUE(restarted.Ok()) << restarted.Error().Reason;
    EXPECT_EQ(Get(server.Port(), "/x").Body, std::vector<std::uint8_t>{1});
}

} // namespace
} // namespace qor::test
