#include "download/WinInetHttpSession.h"

#include <windows.h>

#include <wininet.h>

#include <limits>

#include "platform/SecretBytes.h"
#include "platform/WinErrors.h"

namespace qor {
namespace {

constexpr INTERNET_PORT HttpDefaultPort = 80;
constexpr DWORD AlwaysFromServerFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD StatusCodeBufferSize = 4;
constexpr DWORD ContentLengthBufferSize = 1024;
// WinINet's own error numbers; their texts are in wininet.dll, not in the system's table.
constexpr DWORD InternetErrorFirst = INTERNET_ERROR_BASE;
constexpr DWORD InternetErrorLast = INTERNET_ERROR_LAST;

struct TInternetCloser {
    void operator()(HINTERNET handle) const noexcept { ::InternetCloseHandle(handle); }
};
using TInternetHandle = std::unique_ptr<void, TInternetCloser>;

// The decimal number of a Content-Length text; nullopt for anything else.
std::optional<std::uint64_t> DecimalLength(const std::string& text) {
    constexpr std::size_t MaxDigits = 19; // stays within 64 bits
    if (text.empty() || text.size() > MaxDigits) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::string InternetErrorText(const std::string& call, DWORD code) {
    if (code < InternetErrorFirst || code > InternetErrorLast) {
        return win::ErrorText(call + " failed", code);
    }
    char text[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                         ::GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return call + " failed: " + (message.empty() ? std::string() : message + " ") + "(error " +
           std::to_string(code) + ")";
}

} // namespace

struct TWinInetHttpSession::THandles {
    // Closed in the order request, connection, internet handle, whichever way the session ends.
    TInternetHandle Internet;
    TInternetHandle Connection;
    TInternetHandle Request;

    THandles() = default;
    THandles(const THandles&) = delete;
    THandles& operator=(const THandles&) = delete;
    ~THandles() {
        Request.reset();
        Connection.reset();
        Internet.reset();
    }
};

TWinInetHttpSession::TWinInetHttpSession(TPump pump, std::chrono::milliseconds pumpInterval)
    : Pump(std::move(pump)), Handles(std::make_unique<THandles>()), Helper(pumpInterval) {
}

TWinInetHttpSession::~TWinInetHttpSession() = default;

bool TWinInetHttpSession::Fail(const std::string& call, unsigned long code) {
    Error = InternetErrorText(call, code);
    return false;
}

void TWinInetHttpSession::RunPumping(const std::function<void()>& call) {
    Helper.Run(call, Pump);
}

bool TWinInetHttpSession::Open(const std::string& agent, THttpAccess access,
                               const std::string& proxyName, const std::string& proxyBypass) {
    CloseRequest();
    CloseConnection();
    CloseInternet();
    const bool viaProxy = access == THttpAccess::Proxy;
    HINTERNET internet = ::InternetOpenA(
        agent.c_str(), viaProxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
        viaProxy ? proxyName.c_str() : nullptr, viaProxy ? proxyBypass.c_str() : nullptr, 0);
    if (internet == nullptr) {
        return Fail("InternetOpenA", ::GetLastError());
    }
    Handles->Internet.reset(internet);
    return true;
}

bool TWinInetHttpSession::Connect(const std::string& host, std::uint16_t port) {
    if (!Handles->Internet) {
        return Fail("InternetConnectA", ERROR_INVALID_HANDLE);
    }
    CloseRequest();
    CloseConnection();
    const INTERNET_PORT asked = port == HttpDefaultPort ? INTERNET_INVALID_PORT_NUMBER : port;
    HINTERNET connection = ::InternetConnectA(Handles->Internet.get(), host.c_str(), asked, nullptr,
                                              nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == nullptr) {
        return Fail("InternetConnectA", ::GetLastError());
    }
    Handles->Connection.reset(connection);
    return true;
}

bool TWinInetHttpSession::SetProxyUserName(const std::string& user) {
    if (!Handles->Connection) {
        return Fail("InternetSetOptionA", ERROR_INVALID_HANDLE);
    }
    if (user.size() > std::numeric_limits<DWORD>::max()) {
        return Fail("InternetSetOptionA", ERROR_INVALID_PARAMETER);
    }
    // c_str(): the text is terminated in memory even though its count leaves the zero out.
    if (::InternetSetOptionA(Handles->Connection.get(), INTERNET_OPTION_PROXY_USERNAME,
                             const_cast<char*>(user.c_str()),
                             static_cast<DWORD>(user.size())) == FALSE) {
        return Fail("InternetSetOptionA(INTERNET_OPTION_PROXY_USERNAME)", ::GetLastError());
    }
    return true;
}

bool TWinInetHttpSession::SetProxyPassword(std::span<const std::uint8_t> password) {
    if (!Handles->Connection) {
        return Fail("InternetSetOptionA", ERROR_INVALID_HANDLE);
    }
    if (password.size() >= std::numeric_limits<DWORD>::max()) {
        return Fail("InternetSetOptionA", ERROR_INVALID_PARAMETER);
    }
    // The library reads the option as a text: a zero after the counted bytes keeps it from
    // reading past them when the caller's bytes carry no terminator of their own.
    TSecretBytes terminated(password);
    terminated.Resize(password.size() + 1);
    if (::InternetSetOptionA(Handles->Connection.get(), INTERNET_OPTION_PROXY_PASSWORD,
                             terminated.Data(), static_cast<DWORD>(password.size())) == FALSE) {
        return Fail("InternetSetOptionA(INTERNET_OPTION_PROXY_PASSWORD)", ::GetLastError());
    }
    return true;
}

bool TWinInetHttpSession::OpenRequest(const std::string& verb, const std::string& path,
                                      bool alwaysFromServer) {
    if (!Handles->Connection) {
        return Fail("HttpOpenRequestA", ERROR_INVALID_HANDLE);
    }
    CloseRequest();
    HINTERNET request =
        ::HttpOpenRequestA(Handles->Connection.get(), verb.c_str(), path.c_str(), nullptr, nullptr,
                           nullptr, alwaysFromServer ? AlwaysFromServerFlags : 0, 0);
    if (request == nullptr) {
        return Fail("HttpOpenRequestA", ::GetLastError());
    }
    Handles->Request.reset(request);
    AnnouncedLength.reset();
    BodyReceived = 0;
    return true;
}

bool TWinInetHttpSession::SendRequest() {
    if (!Handles->Request) {
        return Fail("HttpSendRequestA", ERROR_INVALID_HANDLE);
    }
    BOOL sent = FALSE;
    DWORD code = ERROR_SUCCESS;
    RunPumping([&] {
        sent = ::HttpSendRequestA(Handles->Request.get(), nullptr, 0, nullptr, 0);
        code = ::GetLastError(); // on the thread that made the call
    });
    return sent != FALSE || Fail("HttpSendRequestA", code);
}

std::optional<std::string> TWinInetHttpSession::QueryStatusCode() {
    if (!Handles->Request) {
        Fail("HttpQueryInfoA", ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    char status[StatusCodeBufferSize] = {};
    DWORD size = sizeof status;
    if (::HttpQueryInfoA(Handles->Request.get(), HTTP_QUERY_STATUS_CODE, status, &size, nullptr) ==
        FALSE) {
        Fail("HttpQueryInfoA(HTTP_QUERY_STATUS_CODE)", ::GetLastError());
        return std::nullopt;
    }
    return std::string(status, std::min<DWORD>(size, sizeof status));
}

std::optional<std::string> TWinInetHttpSession::QueryContentLength() {
    if (!Handles->Request) {
        return std::nullopt;
    }
    std::string length(ContentLengthBufferSize, '\0');
    DWORD size = ContentLengthBufferSize;
    if (::HttpQueryInfoA(Handles->Request.get(), HTTP_QUERY_CONTENT_LENGTH, length.data(), &size,
                         nullptr) == FALSE) {
        return std::nullopt;
    }
    length.resize(std::min<DWORD>(size, ContentLengthBufferSize));
    AnnouncedLength = DecimalLength(length);
    return length;
}

std::optional<std::size_t> TWinInetHttpSession::Read(std::span<std::uint8_t> buffer) {
    if (!Handles->Request) {
        Fail("InternetReadFile", ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
    BOOL read = FALSE;
    DWORD got = 0;
    DWORD code = ERROR_SUCCESS;
    RunPumping([&] {
        read = ::InternetReadFile(Handles->Request.get(), buffer.data(), wanted, &got);
        code = ::GetLastError();
    });
    if (read == FALSE) {
        Fail("InternetReadFile", code);
        return std::nullopt;
    }
    const std::size_t count = std::min<std::size_t>(got, wanted);
    BodyReceived += count;
    if (count == 0 && AnnouncedLength && BodyReceived < *AnnouncedLength) {
        Error = "the connection ended after " + std::to_string(BodyReceived) + " of the " +
                std::to_string(*AnnouncedLength) + " bytes announced";
        return std::nullopt;
    }
    return count;
}

void TWinInetHttpSession::CloseRequest() {
    Handles->Request.reset();
}

void TWinInetHttpSession::CloseConnection() {
    Handles->Connection.reset();
}

void TWinInetHttpSession::CloseInternet() {
    Handles->Internet.reset();
}

THttpSessionFactory WinInetHttpSessions() {
    return [](const TPump& pump) {
        return std::make_unique<TWinInetHttpSession>(pump);
    };
}

} // namespace qor
