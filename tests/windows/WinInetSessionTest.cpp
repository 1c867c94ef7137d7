#include "download/WinInetHttpSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/WinsockHttpServer.h"

namespace qor {
namespace {

using TBytes = std::vector<std::uint8_t>;
using test::PatternBytes;
using test::TServedFile;
using test::TServeFault;

constexpr const char* Agent = "qor_fw_update";
constexpr const char* ImagePath = "/qor-7316-a.bin";

// Reads the body in the download's 512-byte pieces; nullopt when a read fails.
std::optional<TBytes> ReadBody(IHttpSession& session, std::vector<std::size_t>* pieces = nullptr) {
    TBytes body;
    std::uint8_t buffer[512];
    for (;;) {
        const auto got = session.Read(buffer);
        if (!got) {
            return std::nullopt;
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
    // The steps up to the response's status, straight to the loopback server.
    bool Request(const std::string& path) {
        return Session.Open(Agent, THttpAccess::Direct, "", "") &&
               Session.Connect("127.0.0.1", Server.Port()) &&
               Session.OpenRequest("GET", path, true) && Session.SendRequest();
    }

    test::TWinsockHttpServer Server;
    int Pumps = 0;
    TWinInetHttpSession Session{[this] {
        ++Pumps;
    }};
};

TEST_F(WinInetSessionTest, TheImageComesIn512BytePiecesWithItsStatusAndLength) {
    const TBytes image = PatternBytes(5000, 3);
    Server.Serve(ImagePath, TServedFile::Of(image));

    ASSERT_TRUE(Request(ImagePath)) << Session.LastError();
    EXPECT_EQ(Session.QueryStatusCode(), "200");
    EXPECT_EQ(Session.QueryContentLength(), "5000");
    std::vector<std::size_t> pieces;
    EXPECT_EQ(ReadBody(Session, &pieces), image);
    EXPECT_THAT(pieces, ::testing::Each(::testing::Le(512U)));
    EXPECT_EQ(pieces.back(), 0U);
    Session.CloseRequest();
    Session.CloseConnection();
    Session.CloseInternet();

    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].Method, "GET");
    EXPECT_EQ(requests[0].Target, ImagePath);
    EXPECT_EQ(requests[0].Header("user-agent"), Agent);
    EXPECT_EQ(requests[0].Header("pragma"), "no-cache");
}

} // namespace
} // namespace qor
