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
#include "platform/DpapiProtection.h"
#include "platform/TempDir.h"
#include "windows/WinsockHttpServer.h"

namespace qor {
namespace {

using TBytes = std::vector<std::uint8_t>;
using test::PatternBytes;
using test::TServedFile;
using test::TServeFault;
using ::testing::HasSubstr;

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

TEST_F(WinInetSessionTest, ABodyWithoutALengthRunsToTheEndOfTheConnection) {
    const TBytes image = PatternBytes(3000, 4);
    Server.Serve(ImagePath, TServedFile::Of(image).NoLength());

    ASSERT_TRUE(Request(ImagePath)) << Session.LastError();
    EXPECT_EQ(Session.QueryStatusCode(), "200");
    EXPECT_EQ(Session.QueryContentLength(), std::nullopt);
    EXPECT_EQ(ReadBody(Session), image);
}

TEST_F(WinInetSessionTest, AMissingFileAnswersWithItsStatusText) {
    ASSERT_TRUE(Request("/qor-7316-b.bin")) << Session.LastError();
    EXPECT_EQ(Session.QueryStatusCode(), "404");
}

TEST_F(WinInetSessionTest, ABodyThatEndsShortOfItsLengthIsAFailedRead) {
    Server.Serve("/reset",
                 TServedFile::Of(PatternBytes(5000)).Failing(TServeFault::ResetMidBody, 2000));
    Server.Serve("/short", TServedFile::Of(PatternBytes(5000)).AnnouncedLength("6000"));

    ASSERT_TRUE(Request("/reset")) << Session.LastError();
    ASSERT_EQ(Session.QueryContentLength(), "5000");
    EXPECT_EQ(ReadBody(Session), std::nullopt);
    EXPECT_THAT(Session.LastError(), HasSubstr("of the 5000 bytes"));

    Session.CloseRequest();
    Session.CloseConnection();
    Session.CloseInternet();
    ASSERT_TRUE(Request("/short")) << Session.LastError();
    ASSERT_EQ(Session.QueryContentLength(), "6000");
    EXPECT_EQ(ReadBody(Session), std::nullopt);
    EXPECT_THAT(Session.LastError(), HasSubstr("after 5000 of the 6000 bytes"));
}

TEST_F(WinInetSessionTest, TheCallerIsPumpedWhileTheServerKeepsItWaiting) {
    Server.Serve(ImagePath,
                 TServedFile::Of(PatternBytes(100)).AnsweredAfter(std::chrono::milliseconds(300)));

    ASSERT_TRUE(Request(ImagePath)) << Session.LastError();

    // Every 10 ms at most, so well over ten times in 300 ms.
    EXPECT_GT(Pumps, 10);
    EXPECT_EQ(Session.QueryStatusCode(), "200");
}

TEST_F(WinInetSessionTest, ANonexistentServerFailsWithTheLibrarysReason) {
    // Nobody listens on the port of a server that has gone.
    std::uint16_t port = 0;
    {
        test::TWinsockHttpServer gone;
        port = gone.Port();
    }
    ASSERT_TRUE(Session.Open(Agent, THttpAccess::Direct, "", ""));
    ASSERT_TRUE(Session.Connect("127.0.0.1", port));
    ASSERT_TRUE(Session.OpenRequest("GET", ImagePath, true));
    EXPECT_FALSE(Session.SendRequest());
    EXPECT_THAT(Session.LastError(), HasSubstr("HttpSendRequestA failed"));
}

// The whole download on the Windows back-ends: WinINet, the temporary directory, the write.
TEST(WinInetDownload, TheImageEndsUpInTheTemporaryFile) {
    test::TWinsockHttpServer server;
    const TBytes image = PatternBytes(63488, 9);
    server.Serve("/qor-7316-b.bin", TServedFile::Of(image));
    std::random_device seed;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qor-dl-" + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    TDownloadFiles files{[&](std::string&) { return std::optional(dir.string() + "\\"); },
                         WriteFileAtomically};
    TSettings settings;
    settings.CfgLanguage = LangEnglish;
    TDpapiProtection protection;
    TDownloadTransfer transfer(settings, protection, WinInetHttpSessions(), files);
    transfer.Server = {"127.0.0.1", server.Port()};
    TDownloadState state;
    state.DeviceVariant = 1;
    int pumps = 0;

    EXPECT_TRUE(transfer.DownloadFirmware(state, [&] { ++pumps; })) << state.FailureDetail;

    EXPECT_TRUE(state.DownloadOK);
    EXPECT_EQ(state.TotalBytes, image.size());
    EXPECT_GE(pumps, 63488 / 512);
    std::ifstream in(state.TempFilePath, std::ios::binary);
    EXPECT_EQ(TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), image);
    in.close();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
} // namespace qor
