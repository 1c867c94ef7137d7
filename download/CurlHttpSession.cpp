#include "download/CurlHttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "download/CurlLibrary.h"

namespace qor {
namespace {

using TClock = std::chrono::steady_clock;

// Curl hands the body over in pieces of at most this size; the session holds two of them.
constexpr std::size_t BodyBufferSize = 2 * std::size_t{CURL_MAX_WRITE_SIZE};
// Far more than any real server sends; curl itself only limits each line.
constexpr std::size_t ResponseHeadLimit = std::size_t{64} * 1024;
constexpr const char* NoCacheHeaders[] = {"Cache-Control: no-cache", "Pragma: no-cache"};
constexpr const char* AllowedProtocols = "http";
constexpr const char* ContentLengthHeader = "Content-Length";

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

// One request on its own multi handle; closed in the order request, connection, multi.
struct TCurlHttpSession::TTransfer {
    CURLM* Multi = curl_multi_init();
    CURL* Easy = curl_easy_init();
    curl_slist* Headers = nullptr;
    bool Added = false;
    // The head of the final response has arrived: not an interim one, not a redirect.
    bool HeadDone = false;
    bool Done = false;
    CURLcode Result = CURLE_OK;
    bool Paused = false;
    bool Stalled = false;
    // The head of the response now arriving: its size, and whether its empty line has come.
    std::size_t HeadBytes = 0;
    bool HeadTooLong = false;
    bool HeadEnded = false;
    // The last time the server sent something, or the transfer was resumed.
    TClock::time_point LastActivity = TClock::now();
    std::vector<std::uint8_t> Body = std::vector<std::uint8_t>(BodyBufferSize);
    std::size_t First = 0; // first byte not yet handed out
    std::size_t End = 0;   // end of the bytes held
    char ErrorText[CURL_ERROR_SIZE] = {};

    TTransfer() = default;
    TTransfer(const TTransfer&) = delete;
    TTransfer& operator=(const TTransfer&) = delete;
    ~TTransfer() {
        if (Added) {
            curl_multi_remove_handle(Multi, Easy);
        }
        if (Easy != nullptr) {
            curl_easy_cleanup(Easy);
        }
        if (Multi != nullptr) {
            curl_multi_cleanup(Multi);
        }
        curl_slist_free_all(Headers);
    }

    std::size_t Held() const { return End - First; }
    std::size_t Free() const { return Body.size() - Held(); }

    void Append(const char* data, std::size_t size) {
        if (Body.size() - End < size) {
            std::memmove(Body.data(), Body.data() + First, Held());
            End = Held();
            First = 0;
        }
        std::memcpy(Body.data() + End, data, size);
        End += size;
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

    // The request as curl takes it: its headers, then every option; the first option curl
    // refuses fails the whole.
    THttpResult<void> Configure(const THttpRequest& request, const TCurlLimits& limits) {
        if (request.AlwaysFromServer) {
            for (const char* header : NoCacheHeaders) {
                curl_slist* more = curl_slist_append(Headers, header);
                if (more == nullptr) {
                    return HttpFailure(THttpFailure::Setup,
                                       "out of memory for the request headers");
                }
                Headers = more;
            }
        }
        const std::string url = "http://" + HostForUrl(request.Host) + ":" +
                                std::to_string(request.Port) + request.Path;
        Set(CURLOPT_ERRORBUFFER, ErrorText);
        Set(CURLOPT_URL, url.c_str());
        Set(CURLOPT_PROTOCOLS_STR, AllowedProtocols);
        // Redirects as on Windows: followed, to plain HTTP only, a bounded number in a row.
        Set(CURLOPT_FOLLOWLOCATION, 1L);
        Set(CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
        Set(CURLOPT_MAXREDIRS, static_cast<long>(HttpMaxRedirects));
        Set(CURLOPT_NOSIGNAL, 1L);
        Set(CURLOPT_USERAGENT, request.Agent.c_str());
        Set(CURLOPT_HTTPGET, 1L);
        Set(CURLOPT_HTTPHEADER, Headers);
        SetProxy(request.Proxy);
        Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.ConnectTimeout.count()));
        Set(CURLOPT_WRITEFUNCTION, &TTransfer::OnBody);
        Set(CURLOPT_WRITEDATA, static_cast<void*>(this));
        Set(CURLOPT_HEADERFUNCTION, &TTransfer::OnHeader);
        Set(CURLOPT_HEADERDATA, static_cast<void*>(this));
        if (Setup != CURLE_OK) {
            return HttpFailure(THttpFailure::Setup,
                               "libcurl refused a setting: " + CurlError(Setup));
        }
        return {};
    }

    void SetProxy(const std::optional<THttpProxy>& proxy) {
        // An empty proxy name turns off every proxy, including one named by the environment.
        Set(CURLOPT_PROXY, proxy ? proxy->Name.c_str() : "");
        if (!proxy) {
            return;
        }
        // No host is exempt from the proxy, whatever the environment says.
        Set(CURLOPT_NOPROXY, "");
        if (const auto& credentials = proxy->Credentials) {
            Set(CURLOPT_PROXYUSERNAME, credentials->User.c_str());
            // The counted bytes up to a zero byte, as a text; curl keeps its own copy.
            const auto bytes = credentials->Password.View();
            std::string password(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0));
            Set(CURLOPT_PROXYPASSWORD, password.c_str());
            SecureWipe(password.data(), password.size());
        }
    }

    template <typename T> void Set(CURLoption option, T value) {
        if (Setup == CURLE_OK) {
            Setup = curl_easy_setopt(Easy, option, value);
        }
    }
    CURLcode Setup = CURLE_OK;

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<TTransfer*>(self);
        const std::size_t bytes = size * count;
        if (bytes > transfer.Body.size()) {
            return 0; // larger than curl promises to hand over: fail rather than grow
        }
        if (transfer.Free() < bytes) {
            transfer.Paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        transfer.Append(data, bytes);
        transfer.LastActivity = TClock::now();
        transfer.HeadDone = true; // curl passes on no body of a redirect it follows
        return bytes;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<TTransfer*>(self);
        const std::size_t bytes = size * count;
        const std::string_view line(data, bytes);
        transfer.LastActivity = TClock::now();
        if (StartsWithNoCase(line, "HTTP/")) {
            transfer.HeadBytes = 0;
            transfer.HeadEnded = false;
        }
        transfer.HeadBytes += bytes;
        if (transfer.HeadBytes > ResponseHeadLimit) {
            transfer.HeadTooLong = true;
            return 0;
        }
        if (line == "\r\n" || line == "\n") {
            // An interim 1xx response is followed by the real one. Whether curl follows a
            // redirect shows only later: by the next response, or by its body or its end.
            long code = 0;
            curl_easy_getinfo(transfer.Easy, CURLINFO_RESPONSE_CODE, &code);
            transfer.HeadEnded = code >= 200;
            if (code >= 200 && (code < 300 || code >= 400)) {
                transfer.HeadDone = true;
            }
        }
        return bytes;
    }
};

TCurlHttpSession::TCurlHttpSession(THttpWait wait, TCurlLimits limits)
    : Wait(std::move(wait)), Limits(limits) {
}

TCurlHttpSession::~TCurlHttpSession() = default;

std::size_t TCurlHttpSession::BufferCapacity() {
    return BodyBufferSize;
}

THttpResult<THttpResponse> TCurlHttpSession::Get(const THttpRequest& request) {
    if (Transfer) {
        return HttpFailure(THttpFailure::Setup, "the session has sent its request already");
    }
    if (request.Host.empty()) {
        return HttpFailure(THttpFailure::Setup, "no host name");
    }
    if (const auto loaded = LoadCurl(); !loaded) {
        return HttpFailure(THttpFailure::Setup, loaded.Error().Reason);
    }
    if (!GlobalInitOk()) {
        return HttpFailure(THttpFailure::Setup, "libcurl could not be initialised");
    }
    auto transfer = std::make_unique<TTransfer>();
    if (transfer->Multi == nullptr || transfer->Easy == nullptr) {
        return HttpFailure(THttpFailure::Setup, "libcurl could not make its handles");
    }
    if (auto configured = transfer->Configure(request, Limits); !configured) {
        return TFailure{configured.Error()};
    }
    const CURLMcode added = curl_multi_add_handle(transfer->Multi, transfer->Easy);
    if (added != CURLM_OK) {
        return HttpFailure(THttpFailure::Setup, std::string("libcurl refused the request: ") +
                                                    curl_multi_strerror(added));
    }
    transfer->Added = true;
    transfer->LastActivity = TClock::now();
    Transfer = std::move(transfer);
    return AwaitResponse();
}

THttpResult<THttpResponse> TCurlHttpSession::AwaitResponse() {
    TTransfer& current = *Transfer;
    if (auto driven = DriveUntil([&current] { return current.HeadDone; }); !driven) {
        return TFailure{driven.Error()};
    }
    // A redirect curl did not follow, without a body: its head is the final one.
    if (current.Done && current.Result == CURLE_OK && current.HeadEnded) {
        current.HeadDone = true;
    }
    if (!current.HeadDone) {
        return TFailure{EndedWithout(false)};
    }
    THttpResponse response;
    long code = 0;
    curl_easy_getinfo(current.Easy, CURLINFO_RESPONSE_CODE, &code);
    response.Status = std::to_string(code);
    curl_header* header = nullptr;
    for (std::size_t index = 0; curl_easy_header(current.Easy, ContentLengthHeader, index,
                                                 CURLH_HEADER, -1, &header) == CURLHE_OK &&
                                index < header->amount;
         ++index) {
        response.ContentLengths.emplace_back(header->value);
    }
    return response;
}

THttpResult<std::size_t> TCurlHttpSession::Read(std::span<std::uint8_t> buffer) {
    if (!Transfer || !Transfer->HeadDone) {
        return HttpFailure(THttpFailure::Setup, "reading before the response has come");
    }
    TTransfer& transfer = *Transfer;
    if (transfer.Held() == 0 && !transfer.Done) {
        if (auto driven = DriveUntil([&transfer] { return transfer.Held() > 0; }); !driven) {
            return TFailure{driven.Error()};
        }
    }
    if (transfer.Held() == 0) {
        if (transfer.Stalled || transfer.Result != CURLE_OK) {
            return TFailure{EndedWithout(true)};
        }
        return std::size_t{0};
    }
    const std::size_t count = std::min(buffer.size(), transfer.Held());
    std::memcpy(buffer.data(), transfer.Body.data() + transfer.First, count);
    transfer.First += count;
    if (transfer.Held() == 0) {
        transfer.First = transfer.End = 0;
    }
    // Curl keeps a paused piece and hands it over again once there is room for it.
    if (transfer.Paused && transfer.Free() >= CURL_MAX_WRITE_SIZE) {
        transfer.Paused = false;
        transfer.LastActivity = TClock::now();
        const CURLcode rc = curl_easy_pause(transfer.Easy, CURLPAUSE_CONT);
        if (rc != CURLE_OK) {
            transfer.Done = true;
            transfer.Result = rc;
        }
    }
    return count;
}

THttpResult<void> TCurlHttpSession::DriveUntil(const std::function<bool()>& ready) {
    TTransfer& transfer = *Transfer;
    const int pollMs = static_cast<int>(Limits.PumpInterval.count());
    for (;;) {
        int running = 0;
        CURLMcode rc = curl_multi_perform(transfer.Multi, &running);
        if (rc != CURLM_OK) {
            return HttpFailure(THttpFailure::Broken,
                               std::string("libcurl failed: ") + curl_multi_strerror(rc));
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(transfer.Multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == transfer.Easy) {
                transfer.Done = true;
                transfer.Result = message->data.result;
            }
        }
        if (ready() || transfer.Done) {
            return {};
        }
        // Curl's own low-speed check averages over seconds of history, so a stall after a
        // burst would be noticed late; silence is measured here instead.
        if (TClock::now() - transfer.LastActivity >= Limits.StallTimeout) {
            transfer.Stalled = true;
            transfer.Done = true;
            return {};
        }
        rc = curl_multi_poll(transfer.Multi, nullptr, 0, pollMs, nullptr);
        if (rc != CURLM_OK) {
            return HttpFailure(THttpFailure::Broken,
                               std::string("libcurl failed: ") + curl_multi_strerror(rc));
        }
        if (Wait.Pump) {
            Wait.Pump();
        }
        if (Wait.StopAsked && Wait.StopAsked()) {
            return HttpFailure(THttpFailure::Stopped, "stopped by the caller");
        }
    }
}

THttpError TCurlHttpSession::EndedWithout(bool inBody) const {
    const TTransfer& transfer = *Transfer;
    if (transfer.Stalled) {
        return {THttpFailure::Silent, "no data from the server for " +
                                          std::to_string(Limits.StallTimeout.count()) + " s"};
    }
    if (transfer.HeadTooLong) {
        return {THttpFailure::BadResponse, "the response's head is longer than " +
                                               std::to_string(ResponseHeadLimit) + " bytes"};
    }
    const std::string said = transfer.CurlError(transfer.Result);
    switch (transfer.Result) {
    case CURLE_OK:
        // Curl ends a response whose connection closes inside the head without an error.
        return {THttpFailure::BadResponse,
                "the connection ended before the response's head was complete"};
    case CURLE_OUT_OF_MEMORY:
        if (!inBody) {
            // What curl reports for a header line beyond its limit of CURL_MAX_HTTP_HEADER.
            return {THttpFailure::BadResponse, "the response has a header line longer than " +
                                                   std::to_string(CURL_MAX_HTTP_HEADER) + " bytes"};
        }
        break;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT: // only the connection has a time-out
        return {THttpFailure::Unreachable, said};
    case CURLE_TOO_MANY_REDIRECTS:
        return {THttpFailure::BadResponse,
                "more than " + std::to_string(HttpMaxRedirects) + " redirects in a row"};
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {THttpFailure::BadResponse,
                "a redirect to an address that is not plain HTTP: " + said};
    default:
        break;
    }
    return {inBody ? THttpFailure::Broken : THttpFailure::BadResponse, said};
}

THttpSessionFactory CurlHttpSessions(TCurlLimits limits) {
    return [limits](const THttpWait& wait) {
        return std::make_unique<TCurlHttpSession>(wait, limits);
    };
}

} // namespace qor
