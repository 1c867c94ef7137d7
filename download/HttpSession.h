// One HTTP GET as the download needs it: a request, the head of the response, then the body
// in pieces. A back-end never holds its caller for long: while it waits for the network it
// lets the caller's events run every few milliseconds, and it gives up as soon as the caller
// asks it to stop. Everything it opened is closed when the session goes away.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "platform/SecretBytes.h"

namespace qor {

// Lets the caller's pending events run; called by a back-end while it waits.
using TPump = std::function<void()>;

// What a back-end does while it waits: run the pump, then ask whether to go on.
struct THttpWait {
    TPump Pump;                      // may be empty
    std::function<bool()> StopAsked; // may be empty: never
};

// Redirects are followed to plain HTTP addresses only, and only this many in a row: more
// are a loop, not a move.
inline constexpr int HttpMaxRedirects = 10;

// Header names and the scheme of an address compare without regard to case.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The statuses whose Location is followed.
inline bool IsFollowedRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

enum class THttpFailure {
    Setup,       // the HTTP library could not be started or refused a setting
    Unreachable, // no connection to the server or the proxy
    Silent,      // nothing arrived for the back-end's silence bound
    BadResponse, // a response that cannot be taken: an incomplete or oversized head, a
                 // redirect that cannot be followed
    Broken,      // the connection failed or ended before the body was complete
    Stopped,     // the caller asked to stop
};

struct THttpError {
    THttpFailure Reason = THttpFailure::Setup;
    // What happened, with the library's own words where it has any.
    std::string Detail;
};

template <typename T> using THttpResult = TResult<T, THttpError>;

inline TFailure<THttpError> HttpFailure(THttpFailure reason, std::string detail) {
    return {THttpError{reason, std::move(detail)}};
}

struct THttpCredentials {
    std::string User; // as it is; an empty user is a user of length 0
    // The password bytes as counted; a zero byte among them ends the text.
    TSecretBytes Password;
};

struct THttpProxy {
    std::string Name; // "http://host:port"; every request goes through it
    std::optional<THttpCredentials> Credentials;
};

struct THttpRequest {
    std::string Host;
    std::uint16_t Port = 80;
    std::string Path; // "/name.bin"
    std::string Agent;
    // None: direct, whatever the environment or the system says about proxies.
    std::optional<THttpProxy> Proxy;
    // Every cache on the way is asked to fetch anew.
    bool AlwaysFromServer = true;
};

struct THttpResponse {
    std::string Status; // the status code as text: "200"
    // Every Content-Length header of the response as sent, in order; none when it has none.
    std::vector<std::string> ContentLengths;
};

class IHttpSession {
public:
    virtual ~IHttpSession() = default;

    // Sends the request and waits for the head of the final response (after any redirects).
    virtual THttpResult<THttpResponse> Get(const THttpRequest& request) = 0;
    // Reads up to buffer.size() body bytes; 0 at the end of the body.
    virtual THttpResult<std::size_t> Read(std::span<std::uint8_t> buffer) = 0;
};

// Makes a session for one GET; the session waits in the way given.
using THttpSessionFactory = std::function<std::unique_ptr<IHttpSession>(const THttpWait& wait)>;

} // namespace qor
