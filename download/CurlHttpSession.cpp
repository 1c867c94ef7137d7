#include "download/CurlHttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace qor {
namespace {

// Curl hands the body over in pieces of at most this size; the session holds two of them.
constexpr std::size_t BodyBufferSize = 2 * std::size_t{CURL_MAX_WRITE_SIZE};
constexpr const char* NoCacheHeaders[] = {"Cache-Control: no-cache", "Pragma: no-cache"};
constexpr const char* AllowedProtocols = "http";

bool GlobalInitOk() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

std::string HostForUrl(const std::string& host) {
    // An IPv6 literal needs brackets inside a URL.
    if (host.find(':') != std::string::npos && host.front() != '[') {
        return "[" + host + "]";
    }
    return host;
}

} // namespace

struct TCurlHttpSession::TMulti {
    CURLM* Handle = curl_multi_init();
    TMulti() = default;
    TMulti(const TMulti&) = delete;
    TMulti& operator=(const TMulti&) = delete;
    ~TMulti() {
        if (Handle != nullptr) {
            curl_multi_cleanup(Handle);
        }
    }
};

struct TCurlHttpSession::TRequest {
    CURLM* Multi;
    CURL* Easy = curl_easy_init();
    curl_slist* Headers = nullptr;
    bool Added = false;
    bool HeadersDone = false;
    bool Done = false;
    CURLcode Result = CURLE_OK;
    bool Paused = false;
    bool Stalled = false;
    // The last time the server sent something, or the transfer was resumed.
    std::chrono::steady_clock::time_point LastActivity = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> Body = std::vector<std::uint8_t>(BodyBufferSize);
    std::size_t Head = 0; // first byte not yet handed out
    std::size_t Tail = 0; // end of the bytes held
    char ErrorText[CURL_ERROR_SIZE] = {};

    explicit TRequest(CURLM* multi) : Multi(multi) {}
    TRequest(const TRequest&) = delete;
    TRequest& operator=(const TRequest&) = delete;
    ~TRequest() {
        if (Easy != nullptr) {
            if (Added) {
                curl_multi_remove_handle(Multi, Easy);
            }
            curl_easy_cleanup(Easy);
        }
        curl_slist_free_all(Headers);
    }

    std::size_t Held() const { return Tail - Head; }
    std::size_t Free() const { return Body.size() - Held(); }

    void Append(const char* data, std::size_t size) {
        if (Body.size() - Tail < size) {
            std::memmove(Body.data(), Body.data() + Head, Held());
            Tail = Held();
            Head = 0;
        }
        std::memcpy(Body.data() + Tail, data, size);
        Tail += size;
    }

    std::string FailureText(std::chrono::seconds stallTimeout) const {
        if (Stalled) {
            return "no data from the server for " + std::to_string(stallTimeout.count()) + " s";
        }
        return CurlError(Result);
    }

    std::string CurlError(CURLcode code) const {
        std::string text = curl_easy_strerror(code);
        if (ErrorText[0] != '\0') {
            text += " (";
            text += ErrorText;
            text += ")";
        }
        return text;
    }
};

TCurlHttpSession::TCurlHttpSession(TPump pump, TCurlLimits limits)
    : Pump(std::move(pump)), Limits(limits) {
}

// The members go in reverse order of declaration: request, connection, internet handle.
TCurlHttpSession::~TCurlHttpSession() = default;

std::size_t TCurlHttpSession::BufferCapacity() {
    return BodyBufferSize;
}

bool TCurlHttpSession::Fail(std::string what) {
    Error = std::move(what);
    return false;
}

bool TCurlHttpSession::Open(const std::string& agent, THttpAccess access,
                            const std::string& proxyName, const std::string& proxyBypass) {
    if (Multi) {
        return Fail("opening the internet handle: already open");
    }
    if (!GlobalInitOk()) {
        return Fail("opening the internet handle: libcurl could not be initialised");
    }
    auto multi = std::make_unique<TMulti>();
    if (multi->Handle == nullptr) {
        return Fail("opening the internet handle: out of memory");
    }
    Multi = std::move(multi);
    Agent = agent;
    Access = access;
    ProxyName = proxyName;
    ProxyBypass = proxyBypass;
    return true;
}

bool TCurlHttpSession::Connect(const std::string& host, std::uint16_t port) {
    if (!Multi) {
        return Fail("connecting: no internet handle");
    }
    if (Connected) {
        return Fail("connecting: already connected");
    }
    if (host.empty()) {
        return Fail("connecting: no host name");
    }
    Host = host;
    Port = port;
    Connected = true;
    return true;
}

bool TCurlHttpSession::SetProxyUserName(const std::string& user) {
    if (!Connected) {
        return Fail("setting the proxy user name: no connection");
    }
    ProxyUser = user;
    return true;
}

bool TCurlHttpSession::SetProxyPassword(std::span<const std::uint8_t> password) {
    if (!Connected) {
        return Fail("setting the proxy password: no connection");
    }
    // Kept as a C string: the counted bytes up to a zero byte, then a terminating zero.
    const auto end = std::find(password.begin(), password.end(), std::uint8_t{0});
    TSecretBytes text(std::span<const std::uint8_t>(password.begin(), end));
    text.Resize(text.Size() + 1);
    ProxyPassword = std::move(text);
    return true;
}

bool TCurlHttpSession::OpenRequest(const std::string& verb, const std::string& path,
                                   bool alwaysFromServer) {
    if (!Connected) {
        return Fail("opening the request: no connection");
    }
    if (Request) {
        return Fail("opening the request: a request is already open");
    }
    auto request = std::make_unique<TRequest>(Multi->Handle);
    CURL* easy = request->Easy;
    if (easy == nullptr) {
        return Fail("opening the request: out of memory");
    }
    if (alwaysFromServer) {
        for (const char* header : NoCacheHeaders) {
            curl_slist* more = curl_slist_append(request->Headers, header);
            if (more == nullptr) {
                return Fail("opening the request: out of memory");
            }
            request->Headers = more;
        }
    }
    const std::string url = "http://" + HostForUrl(Host) + ":" + std::to_string(Port) + path;
    const long connectMs = static_cast<long>(Limits.ConnectTimeout.count());

    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(easy, option, value);
        }
    };
    set(CURLOPT_ERRORBUFFER, request->ErrorText);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_USERAGENT, Agent.c_str());
    if (verb == "GET") {
        set(CURLOPT_HTTPGET, 1L);
    } else {
        set(CURLOPT_CUSTOMREQUEST, verb.c_str());
    }
    set(CURLOPT_HTTPHEADER, request->Headers);
    // An empty proxy name turns off every proxy, including one named by the environment.
    set(CURLOPT_PROXY, Access == THttpAccess::Proxy ? ProxyName.c_str() : "");
    if (Access == THttpAccess::Proxy) {
        set(CURLOPT_NOPROXY, ProxyBypass.c_str());
        if (ProxyUser) {
            set(CURLOPT_PROXYUSERNAME, ProxyUser->c_str());
        }
        if (ProxyPassword) {
            set(CURLOPT_PROXYPASSWORD, reinterpret_cast<const char*>(ProxyPassword->Data()));
        }
    }
    set(CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    set(CURLOPT_WRITEFUNCTION, &TCurlHttpSession::OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(request.get()));
    set(CURLOPT_HEADERFUNCTION, &TCurlHttpSession::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(request.get()));
    if (rc != CURLE_OK) {
        return Fail("opening the request: " + request->CurlError(rc));
    }
    Request = std::move(request);
    return true;
}

bool TCurlHttpSession::SendRequest() {
    if (!Request || Request->Added) {
        return Fail("sending the request: no request to send");
    }
    TRequest& request = *Request;
    const CURLMcode added = curl_multi_add_handle(Multi->Handle, request.Easy);
    if (added != CURLM_OK) {
        return Fail(std::string("sending the request: ") + curl_multi_strerror(added));
    }
    request.Added = true;
    request.LastActivity = std::chrono::steady_clock::now();
    if (!DriveUntil([&request] { return request.HeadersDone; })) {
        return false;
    }
    if (!request.HeadersDone) {
        return Fail("sending the request: " + request.FailureText(Limits.StallTimeout));
    }
    return true;
}

std::optional<std::string> TCurlHttpSession::QueryStatusCode() {
    if (!Request || !Request->HeadersDone) {
        Fail("querying the status: no response");
        return std::nullopt;
    }
    long code = 0;
    curl_easy_getinfo(Request->Easy, CURLINFO_RESPONSE_CODE, &code);
    return std::to_string(code);
}

std::optional<std::string> TCurlHttpSession::QueryContentLength() {
    if (!Request || !Request->HeadersDone) {
        Fail("querying the content length: no response");
        return std::nullopt;
    }
    curl_header* header = nullptr;
    if (curl_easy_header(Request->Easy, "Content-Length", 0, CURLH_HEADER, -1, &header) !=
        CURLHE_OK) {
        Fail("querying the content length: the response has none");
        return std::nullopt;
    }
    return std::string(header->value);
}

std::optional<std::size_t> TCurlHttpSession::Read(std::span<std::uint8_t> buffer) {
    if (!Request || !Request->Added) {
        Fail("reading: no request sent");
        return std::nullopt;
    }
    TRequest& request = *Request;
    if (request.Held() == 0 && !request.Done) {
        if (!DriveUntil([&request] { return request.Held() > 0; })) {
            return std::nullopt;
        }
    }
    if (request.Held() == 0) {
        if (request.Stalled || request.Result != CURLE_OK) {
            Fail("reading: " + request.FailureText(Limits.StallTimeout));
            return std::nullopt;
        }
        return 0;
    }
    const std::size_t count = std::min(buffer.size(), request.Held());
    std::memcpy(buffer.data(), request.Body.data() + request.Head, count);
    request.Head += count;
    if (request.Held() == 0) {
        request.Head = request.Tail = 0;
    }
    // Curl keeps a paused piece and hands it over again once there is room for it.
    if (request.Paused && request.Free() >= CURL_MAX_WRITE_SIZE) {
        request.Paused = false;
        request.LastActivity = std::chrono::steady_clock::now();
        const CURLcode rc = curl_easy_pause(request.Easy, CURLPAUSE_CONT);
        if (rc != CURLE_OK) {
            request.Done = true;
            request.Result = rc;
        }
    }
    return count;
}

void TCurlHttpSession::CloseRequest() {
    Request.reset();
}

void TCurlHttpSession::CloseConnection() {
    Connected = false;
    Host.clear();
    ProxyUser.reset();
    ProxyPassword.reset();
}

void TCurlHttpSession::CloseInternet() {
    // A request still open would outlive its multi handle.
    Request.reset();
    Multi.reset();
}

bool TCurlHttpSession::DriveUntil(const std::function<bool()>& ready) {
    TRequest& request = *Request;
    const int pollMs = static_cast<int>(Limits.PumpInterval.count());
    for (;;) {
        int running = 0;
        CURLMcode rc = curl_multi_perform(Multi->Handle, &running);
        if (rc != CURLM_OK) {
            return Fail(std::string("transfer: ") + curl_multi_strerror(rc));
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi->Handle, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == request.Easy) {
                request.Done = true;
                request.Result = message->data.result;
            }
        }
        if (ready() || request.Done) {
            return true;
        }
        // Curl's own low-speed check averages over seconds of history, so a stall after a
        // burst would be noticed late; silence is measured here instead.
        if (std::chrono::steady_clock::now() - request.LastActivity >= Limits.StallTimeout) {
            request.Stalled = true;
            request.Done = true;
            return true;
        }
        rc = curl_multi_poll(Multi->Handle, nullptr, 0, pollMs, nullptr);
        if (rc != CURLM_OK) {
            return Fail(std::string("transfer: ") + curl_multi_strerror(rc));
        }
        if (Pump) {
            Pump();
        }
    }
}

std::size_t TCurlHttpSession::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& request = *static_cast<TRequest*>(self);
    const std::size_t bytes = size * count;
    if (bytes > request.Body.size()) {
        return 0; // larger than curl promises to hand over: fail rather than grow
    }
    if (request.Free() < bytes) {
        request.Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    request.Append(data, bytes);
    request.LastActivity = std::chrono::steady_clock::now();
    return bytes;
}

std::size_t TCurlHttpSession::OnHeader(char* data, std::size_t size, std::size_t count,
                                       void* self) {
    auto& request = *static_cast<TRequest*>(self);
    const std::size_t bytes = size * count;
    request.LastActivity = std::chrono::steady_clock::now();
    const bool blankLine =
        (bytes == 2 && data[0] == '\r' && data[1] == '\n') || (bytes == 1 && data[0] == '\n');
    if (blankLine) {
        // The end of a response's headers; an interim 1xx response is followed by the real one.
        long code = 0;
        curl_easy_getinfo(request.Easy, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200) {
            request.HeadersDone = true;
        }
    }
    return bytes;
}

THttpSessionFactory CurlHttpSessions(TCurlLimits limits) {
    return [limits](const TPump& pump) {
        return std::make_unique<TCurlHttpSession>(pump, limits);
    };
}

} // namespace qor
