// The HTTP session on libcurl's multi interface: every wait for the network is cut into
// short polls with the pump called between them, and the body is handed out from a small
// buffer of the session, the transfer paused while the caller has not taken it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/HttpSession.h"
#include "platform/SecretBytes.h"

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
    explicit TCurlHttpSession(TPump pump, TCurlLimits limits = {});
    ~TCurlHttpSession() override;
    TCurlHttpSession(const TCurlHttpSession&) = delete;
    TCurlHttpSession& operator=(const TCurlHttpSession&) = delete;

    bool Open(const std::string& agent, THttpAccess access, const std::string& proxyName,
              const std::string& proxyBypass) override;
    bool Connect(const std::string& host, std::uint16_t port) override;
    bool SetProxyUserName(const std::string& user) override;
    bool SetProxyPassword(std::span<const std::uint8_t> password) override;
    bool OpenRequest(const std::string& verb, const std::string& path,
                     bool alwaysFromServer) override;
    bool SendRequest() override;
    std::optional<std::string> QueryStatusCode() override;
    std::optional<std::string> QueryContentLength() override;
    std::optional<std::size_t> Read(std::span<std::uint8_t> buffer) override;
    void CloseRequest() override;
    void CloseConnection() override;
    void CloseInternet() override;
    const std::string& LastError() const override { return Error; }

    // The most body bytes the session holds for the caller at any time.
    static std::size_t BufferCapacity();

private:
    struct TMulti;
    struct TRequest;

    bool Fail(std::string what);
    // Runs the transfer until `ready()` holds or it ends, pumping between short polls.
    bool DriveUntil(const std::function<bool()>& ready);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);

    TPump Pump;
    TCurlLimits Limits;
    std::string Error;

    // Internet handle.
    std::unique_ptr<TMulti> Multi;
    std::string Agent;
    THttpAccess Access = THttpAccess::Direct;
    std::string ProxyName;
    std::string ProxyBypass;

    // Connection handle.
    bool Connected = false;
    std::string Host;
    std::uint16_t Port = 0;
    std::optional<std::string> ProxyUser;
    std::optional<TSecretBytes> ProxyPassword; // zero-terminated

    // Request handle; declared last so that it goes first.
    std::unique_ptr<TRequest> Request;
};

// Makes a libcurl session per transfer, for the download dialog.
THttpSessionFactory CurlHttpSessions(TCurlLimits limits = {});

} // namespace qor
