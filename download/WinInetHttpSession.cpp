#include "download/WinInetHttpSession.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <limits>

#include "platform/WinErrors.h"
#include "platform/WinText.h"

namespace qor {
namespace {

constexpr INTERNET_PORT HttpDefaultPort = 80;
constexpr const wchar_t* ProxyBypassList = L"";
constexpr DWORD AlwaysFromServerFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD StatusCodeBufferSize = 4;
constexpr DWORD ContentLengthBufferSize = 1024;
// Far more than any response has; the list is read until the library says there is no more.
constexpr DWORD MaxContentLengthHeaders = 64;
constexpr DWORD LocationBufferSize = 2048;
// The most the helper reads in one call; the download asks for 512 bytes.
constexpr std::size_t MaxReadSize = std::size_t{64} * 1024;
// WinINet's own error numbers; their texts are in wininet.dll, not in the system's table.
constexpr DWORD InternetErrorFirst = INTERNET_ERROR_BASE;
constexpr DWORD InternetErrorLast = INTERNET_ERROR_LAST;

struct TInternetCloser {
    void operator()(HINTERNET handle) const noexcept { ::InternetCloseHandle(handle); }
};
using TInternetHandle = std::unique_ptr<void, TInternetCloser>;

// The decimal number a header's text gives (a length, a status, a port).
TResult<std::uint64_t> DecimalNumber(const std::string& text) {
    constexpr std::size_t MaxDigits = 19; // stays within 64 bits
    if (text.empty() || text.size() > MaxDigits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Fail(TError{"not a decimal number: '" + text + "'"});
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::string InternetErrorText(const std::string& call, DWORD code) {
    const bool ofWinInet = code >= InternetErrorFirst && code <= InternetErrorLast;
    return win::ErrorText(call + " failed", code, ofWinInet ? L"wininet.dll" : nullptr);
}

// A header's text as the library hands it out in UTF-16, `bytes` long.
std::string HeaderText(const std::wstring& buffer, DWORD bytes) {
    return win::Narrow(std::wstring_view(buffer).substr(0, bytes / sizeof(wchar_t)));
}

TFailure<THttpError> Fail(THttpFailure reason, const std::string& call, DWORD code) {
    return HttpFailure(reason, InternetErrorText(call, code));
}

// What a failed send says about the server.
THttpFailure SendFailure(DWORD code) {
    switch (code) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
        return THttpFailure::Unreachable;
    case ERROR_INTERNET_TIMEOUT:
        return THttpFailure::Silent;
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case ERROR_HTTP_INVALID_HEADER:
        return THttpFailure::BadResponse;
    default:
        return THttpFailure::Broken;
    }
}

// The user and the password for the proxy, as wide texts; the password's copies are wiped.
THttpResult<void> GiveProxyCredentials(HINTERNET connection, const THttpCredentials& credentials) {
    const std::wstring user = win::Widen(credentials.User);
    // The password ends at its first zero byte; the conversion adds a zero character.
    TSecretBytes password = win::WidenSecret(credentials.Password.View());
    auto* passwordText = reinterpret_cast<wchar_t*>(password.Data());
    if (user.size() > std::numeric_limits<DWORD>::max()) {
        return Fail(THttpFailure::Setup, "InternetSetOptionW", ERROR_INVALID_PARAMETER);
    }
    // The counts are in characters and leave the terminating zero out (an empty user is the
    // empty text of length 0).
    if (::InternetSetOptionW(connection, INTERNET_OPTION_PROXY_USERNAME,
                             const_cast<wchar_t*>(user.c_str()),
                             static_cast<DWORD>(user.size())) == FALSE) {
        return Fail(THttpFailure::Setup, "InternetSetOptionW(INTERNET_OPTION_PROXY_USERNAME)",
                    ::GetLastError());
    }
    if (::InternetSetOptionW(connection, INTERNET_OPTION_PROXY_PASSWORD, passwordText,
                             static_cast<DWORD>(std::wcslen(passwordText))) == FALSE) {
        return Fail(THttpFailure::Setup, "InternetSetOptionW(INTERNET_OPTION_PROXY_PASSWORD)",
                    ::GetLastError());
    }
    return {};
}

} // namespace

// Where one request of the session goes.
struct TWinInetHttpSession::TTarget {
    std::string Host;
    std::uint16_t Port = HttpDefaultPort;
    std::string Path = "/";

    std::string Url() const { return "http://" + Host + ":" + std::to_string(Port) + Path; }

    // A plain HTTP address with its host, port and path; why not for anything else.
    static TResult<TTarget> Of(const std::string& url) {
        constexpr std::string_view Scheme = "http://";
        if (!StartsWithNoCase(url, std::string(Scheme))) {
            return Fail(TError{"not plain HTTP"});
        }
        const std::string rest = url.substr(Scheme.size(), url.find('#') - Scheme.size());
        const std::size_t pathStart = std::min(rest.find('/'), rest.find('?'));
        const std::string authority = rest.substr(0, pathStart);
        TTarget target;
        const std::size_t colon = authority.rfind(':');
        const bool hasPort =
            colon != std::string::npos && authority.find(']', colon) == std::string::npos;
        target.Host = authority.substr(0, hasPort ? colon : std::string::npos);
        if (hasPort) {
            const auto port = DecimalNumber(authority.substr(colon + 1));
            if (!port || *port == 0 || *port > std::numeric_limits<std::uint16_t>::max()) {
                return Fail(TError{"a port outside 1 to 65535"});
            }
            target.Port = static_cast<std::uint16_t>(*port);
        }
        if (target.Host.empty()) {
            return Fail(TError{"no host"});
        }
        if (pathStart != std::string::npos) {
            target.Path = rest.substr(pathStart);
            if (target.Path.front() == '?') {
                target.Path.insert(0, "/");
            }
        }
        return target;
    }
};

// The handles of the session, shared with a call running on the helper thread so that they
// outlive a call the session no longer waits for. Closed in the order request, connection,
// internet handle.
struct TWinInetHttpSession::THandles {
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

// One InternetReadFile at a time, into a buffer of its own: a read left running after a stop
// must not write into the caller's memory.
struct TWinInetHttpSession::TReadJob {
    std::shared_ptr<THandles> Handles;
    HINTERNET Request = nullptr;
    std::vector<std::uint8_t> Buffer;
    DWORD Wanted = 0;
    BOOL Done = FALSE;
    DWORD Got = 0;
    DWORD Error = ERROR_SUCCESS;

    void Run() {
        Got = 0;
        Done = ::InternetReadFile(Request, Buffer.data(), Wanted, &Got);
        Error = ::GetLastError(); // on the thread that made the call
    }
};

TWinInetHttpSession::TWinInetHttpSession(THttpWait wait, TWinInetLimits limits)
    : Wait(std::move(wait)), Limits(limits), Handles(std::make_shared<THandles>()),
      Helper(limits.PumpInterval) {
}

TWinInetHttpSession::~TWinInetHttpSession() = default;

THttpError TWinInetHttpSession::Stopped() {
    // Closing the request ends a call that waits on it where the library allows that; the
    // call, left running otherwise, ends at the library's time-outs.
    if (HINTERNET request = Handles->Request.release()) {
        ::InternetCloseHandle(request);
    }
    return {THttpFailure::Stopped, "stopped by the caller"};
}

THttpResult<THttpResponse> TWinInetHttpSession::Get(const THttpRequest& request) {
    if (Handles->Internet) {
        return HttpFailure(THttpFailure::Setup, "the session has sent its request already");
    }
    const bool viaProxy = request.Proxy.has_value();
    const std::wstring proxyName = viaProxy ? win::Widen(request.Proxy->Name) : std::wstring();
    HINTERNET internet = ::InternetOpenW(
        win::Widen(request.Agent).c_str(),
        viaProxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
        viaProxy ? proxyName.c_str() : nullptr, viaProxy ? ProxyBypassList : nullptr, 0);
    if (internet == nullptr) {
        return Fail(THttpFailure::Setup, "InternetOpenW", ::GetLastError());
    }
    Handles->Internet.reset(internet);

    TTarget target{request.Host, request.Port, request.Path};
    bool newConnection = true;
    for (int redirects = 0;; ++redirects) {
        if (auto opened = OpenRequest(request, target, newConnection); !opened) {
            return TFailure{opened.Error()};
        }
        if (auto sent = SendRequest(); !sent) {
            return TFailure{sent.Error()};
        }
        THttpResult<THttpResponse> head = ReadHead();
        if (!head) {
            return head;
        }
        THttpResult<std::optional<TTarget>> next = RedirectTarget(*head, target);
        if (!next) {
            return TFailure{next.Error()};
        }
        if (!next->has_value()) {
            const auto& lengths = head->ContentLengths;
            const bool agreed = !lengths.empty() && std::all_of(lengths.begin(), lengths.end(),
                                                                [&](const std::string& length) {
                                                                    return length == lengths[0];
                                                                });
            // A length that is not a number announces none.
            const auto length = DecimalNumber(agreed ? lengths[0] : std::string());
            AnnouncedLength = length ? std::optional(*length) : std::nullopt;
            Reading = std::make_shared<TReadJob>();
            Reading->Handles = Handles;
            return head;
        }
        if (redirects == HttpMaxRedirects) {
            return HttpFailure(THttpFailure::BadResponse, "more than " +
                                                              std::to_string(HttpMaxRedirects) +
                                                              " redirects in a row");
        }
        newConnection = (*next)->Host != target.Host || (*next)->Port != target.Port;
        target = std::move(**next);
    }
}

THttpResult<void> TWinInetHttpSession::OpenRequest(const THttpRequest& request,
                                                   const TTarget& target, bool newConnection) {
    Handles->Request.reset();
    if (newConnection) {
        Handles->Connection.reset();
        // Port 80 is passed as 0, the service's default port; another port as it is.
        const INTERNET_PORT port =
            target.Port == HttpDefaultPort ? INTERNET_INVALID_PORT_NUMBER : target.Port;
        HINTERNET connection =
            ::InternetConnectW(Handles->Internet.get(), win::Widen(target.Host).c_str(), port,
                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        if (connection == nullptr) {
            return Fail(THttpFailure::Setup, "InternetConnectW", ::GetLastError());
        }
        Handles->Connection.reset(connection);
        if (request.Proxy && request.Proxy->Credentials) {
            if (auto given = GiveProxyCredentials(connection, *request.Proxy->Credentials);
                !given) {
                return given;
            }
        }
    }
    const DWORD flags =
        (request.AlwaysFromServer ? AlwaysFromServerFlags : 0) | INTERNET_FLAG_NO_AUTO_REDIRECT;
    HINTERNET opened =
        ::HttpOpenRequestW(Handles->Connection.get(), L"GET", win::Widen(target.Path).c_str(),
                           nullptr, nullptr, nullptr, flags, 0);
    if (opened == nullptr) {
        return Fail(THttpFailure::Setup, "HttpOpenRequestW", ::GetLastError());
    }
    Handles->Request.reset(opened);
    DWORD silence = static_cast<DWORD>(Limits.Silence.count());
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        if (::InternetSetOptionW(opened, option, &silence, sizeof silence) == FALSE) {
            return Fail(THttpFailure::Setup, "InternetSetOptionW(time-out)", ::GetLastError());
        }
    }
    AnnouncedLength.reset();
    BodyReceived = 0;
    return {};
}

THttpResult<void> TWinInetHttpSession::SendRequest() {
    struct TSendJob {
        std::shared_ptr<THandles> Handles;
        HINTERNET Request = nullptr;
        BOOL Sent = FALSE;
        DWORD Error = ERROR_SUCCESS;
    };
    auto job = std::make_shared<TSendJob>();
    job->Handles = Handles;
    job->Request = Handles->Request.get();
    const bool returned = Helper.Run(
        [job] {
            job->Sent = ::HttpSendRequestW(job->Request, nullptr, 0, nullptr, 0);
            job->Error = ::GetLastError();
        },
        Wait);
    if (!returned) {
        return TFailure{Stopped()};
    }
    if (job->Sent == FALSE) {
        return Fail(SendFailure(job->Error), "HttpSendRequestW", job->Error);
    }
    return {};
}

THttpResult<THttpResponse> TWinInetHttpSession::ReadHead() {
    HINTERNET request = Handles->Request.get();
    THttpResponse response;
    std::wstring status(StatusCodeBufferSize, L'\0');
    DWORD size = StatusCodeBufferSize * sizeof(wchar_t);
    if (::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, status.data(), &size, nullptr) == FALSE) {
        return Fail(THttpFailure::BadResponse, "HttpQueryInfoW(HTTP_QUERY_STATUS_CODE)",
                    ::GetLastError());
    }
    response.Status = HeaderText(status, size);
    // Each header of the name in turn; the index moves on with every header found.
    for (DWORD index = 0; index < MaxContentLengthHeaders;) {
        std::wstring length(ContentLengthBufferSize, L'\0');
        DWORD lengthSize = ContentLengthBufferSize * sizeof(wchar_t);
        const DWORD asked = index;
        if (::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, length.data(), &lengthSize,
                             &index) == FALSE ||
            index <= asked) {
            break;
        }
        response.ContentLengths.push_back(HeaderText(length, lengthSize));
    }
    return response;
}

THttpResult<std::optional<TWinInetHttpSession::TTarget>>
TWinInetHttpSession::RedirectTarget(const THttpResponse& head, const TTarget& from) {
    const auto status = DecimalNumber(head.Status);
    if (!status || !IsFollowedRedirect(static_cast<long>(*status))) {
        return std::optional<TTarget>();
    }
    HINTERNET request = Handles->Request.get();
    std::wstring wideLocation(LocationBufferSize, L'\0');
    DWORD size = LocationBufferSize * sizeof(wchar_t);
    if (::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, wideLocation.data(), &size, nullptr) ==
        FALSE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HTTP_HEADER_NOT_FOUND) {
            return std::optional<TTarget>(); // nowhere to go: this is the final response
        }
        if (code != ERROR_INSUFFICIENT_BUFFER) {
            return Fail(THttpFailure::BadResponse, "HttpQueryInfoW(HTTP_QUERY_LOCATION)", code);
        }
        wideLocation.assign(size / sizeof(wchar_t) + 1, L'\0');
        if (::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, wideLocation.data(), &size, nullptr) ==
            FALSE) {
            return Fail(THttpFailure::BadResponse, "HttpQueryInfoW(HTTP_QUERY_LOCATION)",
                        ::GetLastError());
        }
    }
    wideLocation.resize(std::min<std::size_t>(size / sizeof(wchar_t), wideLocation.size()));
    const std::string location = win::Narrow(wideLocation);

    // A location relative to the address it came from is made whole first.
    const std::wstring base = win::Widen(from.Url());
    std::wstring combined(wideLocation.size() + base.size() + LocationBufferSize, L'\0');
    DWORD combinedSize = static_cast<DWORD>(combined.size());
    if (::InternetCombineUrlW(base.c_str(), wideLocation.c_str(), combined.data(), &combinedSize,
                              ICU_NO_ENCODE) == FALSE) {
        return Fail(THttpFailure::BadResponse, "InternetCombineUrlW(" + location + ")",
                    ::GetLastError());
    }
    combined.resize(std::min<std::size_t>(combinedSize, combined.size()));
    TResult<TTarget> next = TTarget::Of(win::Narrow(combined));
    if (!next) {
        return HttpFailure(THttpFailure::BadResponse,
                           "a redirect to an address that is not plain HTTP: " + location);
    }
    return std::optional<TTarget>(std::move(*next));
}

THttpResult<std::size_t> TWinInetHttpSession::Read(std::span<std::uint8_t> buffer) {
    if (!Reading || !Handles->Request) {
        return HttpFailure(THttpFailure::Setup, "reading before the response has come");
    }
    TReadJob& job = *Reading;
    job.Wanted = static_cast<DWORD>(std::min(buffer.size(), MaxReadSize));
    if (job.Buffer.size() < job.Wanted) {
        job.Buffer.resize(job.Wanted);
    }
    job.Request = Handles->Request.get();
    if (!Helper.Run([reading = Reading] { reading->Run(); }, Wait)) {
        return TFailure{Stopped()};
    }
    if (job.Done == FALSE) {
        return Fail(THttpFailure::Broken, "InternetReadFile", job.Error);
    }
    const std::size_t count = std::min<std::size_t>(job.Got, job.Wanted);
    std::copy_n(job.Buffer.begin(), count, buffer.begin());
    BodyReceived += count;
    if (count == 0 && AnnouncedLength && BodyReceived < *AnnouncedLength) {
        return HttpFailure(THttpFailure::Broken,
                           "the connection ended after " + std::to_string(BodyReceived) +
                               " of the " + std::to_string(*AnnouncedLength) + " bytes announced");
    }
    return count;
}

THttpSessionFactory WinInetHttpSessions() {
    return [](const THttpWait& wait) {
        return std::make_unique<TWinInetHttpSession>(wait);
    };
}

} // namespace qor
