// The HTTP session on libcurl's multi interface: every wait for the network is cut into short
// polls with the caller's pump run between them, and the body is handed out from a small
// buffer of the session, the transfer paused while the caller has not taken it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "download/HttpSession.h"

namespace qor {

struct TCurlLimits {
    // A server or proxy that does not accept the connection fails within this time.
    std::chrono::milliseconds ConnectTimeout{15000};
    // A response that brings no byte for this long fails (waiting for it, or mid-body).
    // Measured only while the caller waits for data, never while it has not taken what came.
    std::chrono::seconds StallTimeout{15};
    // The longest wait between two calls of the pump.
    std::chrono::milliseconds PumpInterval{10};
};

class TCurlHttpSession final : public IHttpSession {
public:
    explicit TCurlHttpSession(THttpWait wait, TCurlLimits limits = {});
    ~TCurlHttpSession() override;
    TCurlHttpSession(const TCurlHttpSession&) = delete;
    TCurlHttpSession& operator=(const TCurlHttpSession&) = delete;

    THttpResult<THttpResponse> Get(const THttpRequest& request) override;
    THttpResult<std::size_t> Read(std::span<std::uint8_t> buffer) override;

    // The most body bytes the session holds for the caller at any time.
    static std::size_t BufferCapacity();

private:
    struct TTransfer;
    // Drives the request until the head of its final response has come.
    THttpResult<THttpResponse> AwaitResponse();

    // Runs the transfer until `ready()` holds or it ends, pumping between short polls; fails
    // when the caller asks to stop or libcurl itself fails.
    THttpResult<void> DriveUntil(const std::function<bool()>& ready);
    // Why the transfer ended without what was waited for.
    THttpError EndedWithout(bool inBody) const;

    THttpWait Wait;
    TCurlLimits Limits;
    std::unique_ptr<TTransfer> Transfer;
};

// Makes a libcurl session per transfer, for the download dialog.
THttpSessionFactory CurlHttpSessions(TCurlLimits limits = {});

} // namespace qor
