#include "download/DownloadTransfer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "firmware/DeviceVariant.h"

namespace qor {
namespace {

constexpr const char* UserAgent = "qor_fw_update";
constexpr const char* ProxyScheme = "http://";
constexpr const char* AcceptedStatus = "200";
constexpr std::size_t ReadSize = 512;

std::string Trimmed(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace

std::uint32_t ParseContentLength(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return 0;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(value);
}

TResult<std::optional<std::string>> AgreedContentLength(const std::vector<std::string>& headers) {
    std::optional<std::string> agreed;
    for (const std::string& header : headers) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = header.find(',', start);
            const std::string length = Trimmed(std::string_view(header).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start));
            if (agreed && *agreed != length) {
                return Fail(
                    TError{"the response gives two lengths, " + *agreed + " and " + length});
            }
            agreed = length;
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    return agreed;
}

TDownloadTransfer::TDownloadTransfer(IDataProtection& protection, THttpSessionFactory sessions,
                                     TDownloadFiles files)
    : Protection(protection), Sessions(std::move(sessions)), Files(std::move(files)) {
}

TResult<THttpRequest, TDownloadError>
TDownloadTransfer::MakeRequest(const TDownloadRequest& download) const {
    const TSettings& settings = download.Settings;
    THttpRequest request;
    request.Host = download.Server.Host;
    request.Port = download.Server.Port;
    request.Path = DownloadPathOf(download.Variant);
    request.Agent = UserAgent;
    request.AlwaysFromServer = true;
    if (!settings.CfgUseProxy) {
        return request;
    }
    THttpProxy proxy;
    proxy.Name =
        ProxyScheme + settings.CfgProxyServer + ":" + std::to_string(settings.CfgProxyPort);
    // Credentials only go to a proxy; with authentication but no proxy the access is direct.
    if (settings.CfgUseProxyAuth) {
        THttpCredentials credentials;
        credentials.User = settings.CfgProxyUser;
        // No blob means no password was ever entered: that is the empty password, stored as
        // its terminating zero. A blob that does not unprotect (another user, altered) is not
        // guessed at: nothing is sent.
        if (download.ProxyPassword) {
            credentials.Password = TSecretBytes(download.ProxyPassword->View());
        } else if (settings.CfgProxyPassword.empty()) {
            credentials.Password.Resize(1);
        } else {
            TResult<TSecretBytes> password = Protection.Unprotect(settings.CfgProxyPassword);
            if (!password) {
                const std::string& why = password.Error().Reason;
                return DownloadFailure(TDownloadFailure::ServerFailed,
                                       "the stored proxy password cannot be unprotected" +
                                           (why.empty() ? std::string() : ": " + why));
            }
            credentials.Password = std::move(*password);
        }
        proxy.Credentials = std::move(credentials);
    }
    request.Proxy = std::move(proxy);
    return request;
}

// One transfer, step by step; each step hands back why it failed.
class TDownloadTransfer::TRun {
public:
    TRun(const TDownloadTransfer& transfer, const TDownloadRequest& request,
         IDownloadObserver& observer)
        : Transfer(transfer), Request(request), Observer(observer) {}

    TDownloadResult Run() {
        auto savedAs = Begin();
        if (!savedAs) {
            return Fail(savedAs.Error());
        }
        auto session = Connect();
        if (!session) {
            return Fail(session.Error());
        }
        if (auto read = ReadBody(**session); !read) {
            return Fail(read.Error());
        }
        // Everything the session opened is closed before the file is written.
        session->reset();
        if (auto saved = Save(*savedAs); !saved) {
            return Fail(saved.Error());
        }
        return TDownloadedImage{std::move(Body),
                                DownloadAddress(Request.Server, DownloadPathOf(Request.Variant)),
                                std::move(*savedAs)};
    }

private:
    // The caller's answer is kept: once asked to stop, the transfer stops at its next step.
    void AskToCancel() {
        if (!Cancelled) {
            Cancelled = Observer.CancelRequested();
        }
    }
    bool TimeUp() const { return Transfer.Now() >= Deadline; }

    // Why a transfer asked to stop ended: the caller's cancel, or else the overall bound.
    TFailure<TDownloadError> Stopped(TDownloadFailure atBound) const {
        if (Cancelled) {
            return DownloadFailure(TDownloadFailure::Cancelled, "cancelled");
        }
        return DownloadFailure(atBound, "the download did not finish within " +
                                            std::to_string(Transfer.Limits.Overall.count()) + " s");
    }

    // Where the image is to be saved. Without a private temporary directory there is nowhere
    // safe to put it, so the transfer is not even begun.
    TResult<std::string, TDownloadError> Begin() {
        TResult<std::string> directory = Transfer.Files.TempDirectory();
        if (!directory) {
            return DownloadFailure(TDownloadFailure::DownloadFailed,
                                   directory.Error().Within("no temporary directory").Reason);
        }
        // Room for the largest image, reserved but not yet touched: an image touches only the
        // pages it fills.
        Body.reserve(DownloadBufferSize);
        AskToCancel();
        if (Cancelled) {
            return Stopped(TDownloadFailure::ServerFailed);
        }
        Deadline = Transfer.Now() + Transfer.Limits.Overall;
        return *directory + DownloadFileName;
    }

    // The request sent and the head of its response taken: a session whose body is next.
    TResult<std::unique_ptr<IHttpSession>, TDownloadError> Connect() {
        TResult<THttpRequest, TDownloadError> request = Transfer.MakeRequest(Request);
        if (!request) {
            return Fail(request.Error());
        }
        std::unique_ptr<IHttpSession> session =
            Transfer.Sessions(THttpWait{[this] { AskToCancel(); },
                                        [this] {
                                            return Cancelled || TimeUp();
                                        }});
        if (!session) {
            return DownloadFailure(TDownloadFailure::ServerFailed, "no HTTP client");
        }
        THttpResult<THttpResponse> response = session->Get(*request);
        if (!response) {
            if (response.Error().Reason == THttpFailure::Stopped) {
                return Stopped(TDownloadFailure::ServerFailed);
            }
            return DownloadFailure(TDownloadFailure::ServerFailed, response.Error().Detail);
        }
        if (response->Status != AcceptedStatus) {
            return Fail(TDownloadError{TDownloadFailure::StatusRefused,
                                       "the server answered with status " + response->Status,
                                       response->Status,
                                       {}});
        }
        const auto length = AgreedContentLength(response->ContentLengths);
        if (!length) {
            return DownloadFailure(TDownloadFailure::DownloadFailed, length.Error().Reason);
        }
        if (*length) {
            Total = ParseContentLength(**length);
        }
        Observer.Received(0, Total);
        return session;
    }

    // The body into the reserved buffer, piece by piece, with the caller asked after each.
    TResult<void, TDownloadError> ReadBody(IHttpSession& session) {
        std::uint32_t received = 0;
        for (;;) {
            if (Cancelled || TimeUp()) {
                return Stopped(TDownloadFailure::DownloadFailed);
            }
            if (Total && *Total > DownloadBufferSize) {
                return DownloadFailure(TDownloadFailure::DownloadFailed,
                                       "the announced image of " + std::to_string(*Total) +
                                           " bytes is larger than the buffer");
            }
            // With the buffer full, one more read into a spare byte tells the end of the body
            // from a body that does not fit.
            const std::size_t room = DownloadBufferSize - received;
            std::uint8_t spare = 0;
            Body.resize(received + std::min(room, ReadSize)); // within the reserved room
            const std::span<std::uint8_t> target =
                room == 0 ? std::span<std::uint8_t>(&spare, 1)
                          : std::span<std::uint8_t>(Body.data() + received, Body.size() - received);
            const THttpResult<std::size_t> count = session.Read(target);
            Body.resize(received + (count && room != 0 ? *count : 0));
            if (!count) {
                if (count.Error().Reason == THttpFailure::Stopped) {
                    return Stopped(TDownloadFailure::DownloadFailed);
                }
                return DownloadFailure(TDownloadFailure::DownloadFailed, count.Error().Detail);
            }
            if (room == 0 && *count > 0) {
                return DownloadFailure(TDownloadFailure::DownloadFailed,
                                       "the image is larger than " +
                                           std::to_string(DownloadBufferSize) + " bytes");
            }
            received += static_cast<std::uint32_t>(*count);
            Observer.Received(received, Total);
            AskToCancel();
            if (*count == 0) {
                return {};
            }
        }
    }

    TResult<void, TDownloadError> Save(const std::string& path) const {
        if (const TResult<void> written = Transfer.Files.WriteFile(path, Body); !written) {
            return DownloadFailure(TDownloadFailure::DownloadFailed,
                                   written.Error().Within("writing " + path).Reason);
        }
        return {};
    }

    const TDownloadTransfer& Transfer;
    const TDownloadRequest& Request;
    IDownloadObserver& Observer;
    std::vector<std::uint8_t> Body;
    std::optional<std::uint32_t> Total; // the announced length, when there is one
    bool Cancelled = false;
    std::chrono::steady_clock::time_point Deadline;
};

TDownloadResult TDownloadTransfer::DownloadFirmware(const TDownloadRequest& request,
                                                    IDownloadObserver& observer) const {
    TRun run(*this, request, observer);
    TDownloadResult result = run.Run();
    if (!result) {
        TDownloadError error = result.Error();
        error.Text = DownloadFailureText(error, request.Settings.CfgLanguage);
        return Fail(std::move(error));
    }
    return result;
}

} // namespace qor
