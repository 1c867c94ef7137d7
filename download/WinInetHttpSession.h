// The HTTP session on WinINet, with the calls, flags and options the download is specified
// with. WinINet's calls block; the ones that wait for the network (sending the request and
// reading the body) run on a helper thread while the caller's thread pumps its events.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "download/BackgroundCall.h"
#include "download/HttpSession.h"

namespace qor {

class TWinInetHttpSession final : public IHttpSession {
public:
    explicit TWinInetHttpSession(TPump pump,
                                 std::chrono::milliseconds pumpInterval = DefaultPumpInterval);
    ~TWinInetHttpSession() override;
    TWinInetHttpSession(const TWinInetHttpSession&) = delete;
    TWinInetHttpSession& operator=(const TWinInetHttpSession&) = delete;

    static constexpr std::chrono::milliseconds DefaultPumpInterval{10};

    // InternetOpenA, flags 0: INTERNET_OPEN_TYPE_DIRECT, or INTERNET_OPEN_TYPE_PROXY with the
    // proxy name and the bypass list as given (an empty list, not an absent one).
    bool Open(const std::string& agent, THttpAccess access, const std::string& proxyName,
              const std::string& proxyBypass) override;
    // InternetConnectA for HTTP with no user and no password. Port 80 is passed as 0, the
    // service's default port; another port (a test server) as it is.
    bool Connect(const std::string& host, std::uint16_t port) override;
    // InternetSetOptionA on the connection, INTERNET_OPTION_PROXY_USERNAME.
    bool SetProxyUserName(const std::string& user) override;
    // InternetSetOptionA on the connection, INTERNET_OPTION_PROXY_PASSWORD, with the count
    // given; the bytes are handed over with a zero after them, so nothing past them is read.
    bool SetProxyPassword(std::span<const std::uint8_t> password) override;
    // HttpOpenRequestA with the library's HTTP version, no referrer and no accept types;
    // `alwaysFromServer` is INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE.
    bool OpenRequest(const std::string& verb, const std::string& path,
                     bool alwaysFromServer) override;
    // HttpSendRequestA with no extra headers and no body.
    bool SendRequest() override;
    // HttpQueryInfoA, HTTP_QUERY_STATUS_CODE, into a 4-byte buffer: room for three digits.
    std::optional<std::string> QueryStatusCode() override;
    // HttpQueryInfoA, HTTP_QUERY_CONTENT_LENGTH, into a 1024-byte buffer. The length is
    // remembered for the reads.
    std::optional<std::string> QueryContentLength() override;
    // InternetReadFile. WinINet may report a connection that ends early as the end of the body,
    // so a body that ends short of the length it was announced with is a failed read.
    std::optional<std::size_t> Read(std::span<std::uint8_t> buffer) override;
    // InternetCloseHandle.
    void CloseRequest() override;
    void CloseConnection() override;
    void CloseInternet() override;
    const std::string& LastError() const override { return Error; }

private:
    struct THandles;

    bool Fail(const std::string& call, unsigned long code);
    // Runs a call that waits for the network on the helper thread, pumping meanwhile.
    void RunPumping(const std::function<void()>& call);

    TPump Pump;
    std::string Error;
    std::unique_ptr<THandles> Handles;
    std::optional<std::uint64_t> AnnouncedLength;
    std::uint64_t BodyReceived = 0;
    TBackgroundCall Helper;
};

// Makes a WinINet session per transfer, for the download dialog.
THttpSessionFactory WinInetHttpSessions();

} // namespace qor
