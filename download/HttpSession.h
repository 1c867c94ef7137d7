// The HTTP client as the download sees it: the few steps of one GET, each a call that
// reports success, with three handles (internet, connection, request) closed in that
// reverse order. A back-end never blocks the caller for long: while it waits for the
// network it calls the pump it was given, every few milliseconds, so the GUI stays served.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace qor {

// Lets the caller's pending events run; called by a back-end while it waits.
using TPump = std::function<void()>;

enum class THttpAccess {
    Direct, // no proxy at all, whatever the environment says
    Proxy,  // every request through the named proxy
};

class IHttpSession {
public:
    virtual ~IHttpSession() = default;

    // Opens the internet handle. `proxyName` ("http://host:port") and `proxyBypass` are used
    // with THttpAccess::Proxy only.
    virtual bool Open(const std::string& agent, THttpAccess access, const std::string& proxyName,
                      const std::string& proxyBypass) = 0;
    // Opens the connection handle for a server; nothing is sent yet.
    virtual bool Connect(const std::string& host, std::uint16_t port) = 0;
    // Proxy credentials of the connection, as they are (an empty user is a user of length 0).
    virtual bool SetProxyUserName(const std::string& user) = 0;
    // The password bytes and their count; a terminating zero byte, if counted, ends the text.
    virtual bool SetProxyPassword(std::span<const std::uint8_t> password) = 0;
    // Opens a request; `alwaysFromServer` asks every cache on the way to fetch anew.
    virtual bool OpenRequest(const std::string& verb, const std::string& path,
                             bool alwaysFromServer) = 0;
    // Sends the request and returns once the response's status and headers have arrived.
    virtual bool SendRequest() = 0;
    // The response's status code as text ("200"); nullopt before a response.
    virtual std::optional<std::string> QueryStatusCode() = 0;
    // The response's Content-Length header as sent; nullopt when it has none.
    virtual std::optional<std::string> QueryContentLength() = 0;
    // Reads up to buffer.size() body bytes; 0 at the end of the body, nullopt on failure.
    virtual std::optional<std::size_t> Read(std::span<std::uint8_t> buffer) = 0;
    // Each close is harmless when the handle is not open.
    virtual void CloseRequest() = 0;
    virtual void CloseConnection() = 0;
    virtual void CloseInternet() = 0;

    // What the last failing call ran into, for diagnostics.
    virtual const std::string& LastError() const = 0;
};

// Makes a session for one transfer; the session calls `pump` while it waits.
using THttpSessionFactory = std::function<std::unique_ptr<IHttpSession>(const TPump& pump)>;

} // namespace qor
