// The HTTP session on WinINet. Its calls block, so the ones that wait for the network
// (sending the request, reading the body) run on a helper thread while the caller's thread
// pumps its events; when the caller asks to stop, the request handle is closed, which ends the
// call where the library allows it, and the session returns at once either way.
//
// Redirects are followed by the session itself rather than by the library, so that they go to
// plain HTTP only and end after HttpMaxRedirects, the same on every system.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/BackgroundCall.h"
#include "download/HttpSession.h"

namespace qor {

struct TWinInetLimits {
    // The library's connect, send and receive time-outs: a server or proxy that does not
    // accept the connection, or sends nothing for this long, fails.
    std::chrono::milliseconds Silence{15000};
    // The longest wait between two calls of the pump.
    std::chrono::milliseconds PumpInterval{10};
};

class TWinInetHttpSession final : public IHttpSession {
public:
    explicit TWinInetHttpSession(THttpWait wait, TWinInetLimits limits = {});
    ~TWinInetHttpSession() override;
    TWinInetHttpSession(const TWinInetHttpSession&) = delete;
    TWinInetHttpSession& operator=(const TWinInetHttpSession&) = delete;

    // InternetOpenA (direct, or through the proxy with an empty bypass list), InternetConnectA
    // with the proxy credentials as options of the connection, HttpOpenRequestA (no-cache when
    // asked), HttpSendRequestA; the status text comes from a 4-byte buffer, each
    // Content-Length from a 1024-byte one.
    THttpResult<THttpResponse> Get(const THttpRequest& request) override;
    // InternetReadFile. WinINet may report a connection that ends early as the end of the
    // body, so a body that ends short of the length it was announced with is a failed read.
    THttpResult<std::size_t> Read(std::span<std::uint8_t> buffer) override;

private:
    struct THandles;
    struct TReadJob;
    struct TTarget;

    // Opens the connection and the request for `target`; the internet handle is open.
    THttpResult<void> OpenRequest(const THttpRequest& request, const TTarget& target,
                                  bool newConnection);
    // Sends the open request on the helper thread.
    THttpResult<void> SendRequest();
    // The status text and every Content-Length of the response to the sent request.
    THttpResult<THttpResponse> ReadHead();
    // Where a redirect response points, or nullopt when it is the final response.
    THttpResult<std::optional<TTarget>> RedirectTarget(const THttpResponse& head,
                                                       const TTarget& from);
    THttpError Stopped();

    THttpWait Wait;
    TWinInetLimits Limits;
    std::shared_ptr<THandles> Handles;
    std::shared_ptr<TReadJob> Reading;
    std::optional<std::uint64_t> AnnouncedLength;
    std::uint64_t BodyReceived = 0;
    TBackgroundCall Helper; // last: a call left running keeps what it uses alive itself
};

// Makes a WinINet session per transfer, for the download dialog.
THttpSessionFactory WinInetHttpSessions();

} // namespace qor
