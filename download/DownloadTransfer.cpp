#include "download/DownloadTransfer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

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

// Marks the transfer as running for as long as it runs, whichever way it ends.
class TRunning {
public:
    explicit TRunning(TDownloadState& state) : State(state) { State.Running = true; }
    TRunning(const TRunning&) = delete;
    TRunning& operator=(const TRunning&) = delete;
    ~TRunning() {
        State.Running = false;
        State.AwaitingResponse = false;
    }

private:
    TDownloadState& State;
};

} // namespace

std::string FirmwareRequestPath(char variantLetter) {
    const auto variant = TDeviceVariant::FromLetter(variantLetter);
    return variant ? variant->DownloadPath() : DownloadPathOf(TVariantKind::Other);
}

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

TResult<std::optional<std::string>, std::string>
AgreedContentLength(const std::vector<std::string>& headers) {
    std::optional<std::string> agreed;
    for (const std::string& header : headers) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = header.find(',', start);
            const std::string length = Trimmed(std::string_view(header).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start));
            if (agreed && *agreed != length) {
                return TFailure{"the response gives two lengths, " + *agreed + " and " + length};
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

TDownloadTransfer::TDownloadTransfer(const TSettings& settings, IDataProtection& protection,
                                     THttpSessionFactory sessions, TDownloadFiles files)
    : Settings(settings), Protection(protection), Sessions(std::move(sessions)),
      Files(std::move(files)) {
}

TResult<THttpRequest, TDownloadError>
TDownloadTransfer::MakeRequest(const std::string& requestPath) const {
    THttpRequest request;
    request.Host = Server.Host;
    request.Port = Server.Port;
    request.Path = requestPath;
    request.Agent = UserAgent;
    request.AlwaysFromServer = true;
    if (!Settings.CfgUseProxy) {
        return request;
    }
    THttpProxy proxy;
    proxy.Name =
        ProxyScheme + Settings.CfgProxyServer + ":" + std::to_string(Settings.CfgProxyPort);
    // Credentials only go to a proxy; with authentication but no proxy the access is direct.
    if (Settings.CfgUseProxyAuth) {
        THttpCredentials credentials;
        credentials.User = Settings.CfgProxyUser;
        // No blob means no password was ever entered: that is the empty password, stored as
        // its terminating zero. A blob that does not unprotect (another user, altered) is not
        // guessed at: nothing is sent.
        if (ProxyPassword) {
            credentials.Password = TSecretBytes(ProxyPassword->View());
        } else if (Settings.CfgProxyPassword.empty()) {
            credentials.Password.Resize(1);
        } else {
            std::optional<TSecretBytes> password = Protection.Unprotect(Settings.CfgProxyPassword);
            if (!password) {
                const std::string why = Protection.LastError();
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

TDownloadOutcome TDownloadTransfer::DownloadFirmware(TDownloadState& state,
                                                     const std::string& requestPath,
                                                     const TPump& pump) const {
    const TRunning running(state);
    state.Failure.reset();
    state.DownloadOK = false;
    state.SizeKnown = false;
    state.TotalBytes = 0;
    state.ReceivedBytes = 0;
    const auto fail = [&state](TFailure<TDownloadError> failure) -> TDownloadOutcome {
        state.Failure = failure.Error;
        state.Busy = false;
        return failure;
    };

    // Without a private temporary directory there is nowhere safe to put the image, so the
    // transfer is not even begun.
    TFileResult<std::string> directory = Files.TempDirectory();
    if (!directory) {
        state.TempFilePath.clear();
        return fail(DownloadFailure(TDownloadFailure::DownloadFailed,
                                    "no temporary directory: " + directory.Error()));
    }
    state.TempFilePath = *directory + DownloadFileName;

    state.AwaitingResponse = true;
    if (pump) {
        pump();
    }
    state.Busy = true;

    const auto deadline = Now() + Limits.Overall;
    const auto timeUp = [this, deadline] {
        return Now() >= deadline;
    };
    // A transfer asked to stop ended by the user's Cancel, or else at the overall bound.
    const auto stopped = [&](TDownloadFailure atBound) {
        if (!state.Busy) {
            return fail(DownloadFailure(TDownloadFailure::Cancelled, "cancelled"));
        }
        return fail(DownloadFailure(atBound, "the download did not finish within " +
                                                 std::to_string(Limits.Overall.count()) + " s"));
    };

    TResult<THttpRequest, TDownloadError> request = MakeRequest(requestPath);
    if (!request) {
        return fail(TFailure{request.Error()});
    }
    std::unique_ptr<IHttpSession> session = Sessions(THttpWait{pump, [&state, &timeUp] {
                                                                   return !state.Busy || timeUp();
                                                               }});
    if (!session) {
        return fail(DownloadFailure(TDownloadFailure::ServerFailed, "no HTTP client"));
    }

    THttpResult<THttpResponse> response = session->Get(*request);
    if (!response) {
        if (response.Error().Reason == THttpFailure::Stopped) {
            return stopped(TDownloadFailure::ServerFailed);
        }
        return fail(DownloadFailure(TDownloadFailure::ServerFailed, response.Error().Detail));
    }
    if (response->Status != AcceptedStatus) {
        return fail(TFailure{TDownloadError{TDownloadFailure::StatusRefused,
                                            "the server answered with status " + response->Status,
                                            response->Status}});
    }
    const auto length = AgreedContentLength(response->ContentLengths);
    if (!length) {
        return fail(DownloadFailure(TDownloadFailure::DownloadFailed, length.Error()));
    }
    state.SizeKnown = length->has_value();
    state.TotalBytes = state.SizeKnown ? ParseContentLength(**length) : 0;
    state.AwaitingResponse = false;

    std::uint32_t received = 0;
    for (;;) {
        if (!state.Busy || timeUp()) {
            return stopped(TDownloadFailure::DownloadFailed);
        }
        if (state.SizeKnown && state.TotalBytes > state.DownloadBuffer.size()) {
            return fail(DownloadFailure(TDownloadFailure::DownloadFailed,
                                        "the announced image of " +
                                            std::to_string(state.TotalBytes) +
                                            " bytes is larger than the buffer"));
        }
        // With the buffer full, one more read into a spare byte tells the end of the body
        // from a body that does not fit.
        const std::size_t room = state.DownloadBuffer.size() - received;
        std::uint8_t spare = 0;
        const std::span<std::uint8_t> target =
            room == 0 ? std::span<std::uint8_t>(&spare, 1)
                      : std::span<std::uint8_t>(state.DownloadBuffer.data() + received,
                                                std::min(room, ReadSize));
        const THttpResult<std::size_t> count = session->Read(target);
        if (!count) {
            if (count.Error().Reason == THttpFailure::Stopped) {
                return stopped(TDownloadFailure::DownloadFailed);
            }
            return fail(DownloadFailure(TDownloadFailure::DownloadFailed, count.Error().Detail));
        }
        if (room == 0 && *count > 0) {
            return fail(DownloadFailure(TDownloadFailure::DownloadFailed,
                                        "the image is larger than " +
                                            std::to_string(state.DownloadBuffer.size()) +
                                            " bytes"));
        }
        received += static_cast<std::uint32_t>(*count);
        state.ReceivedBytes = received;
        if (pump) {
            pump();
        }
        if (*count == 0) {
            break;
        }
    }

    // Everything the session opened is closed before the file is written.
    session.reset();
    const TFileResult<void> written = Files.WriteFile(
        state.TempFilePath, std::span<const std::uint8_t>(state.DownloadBuffer.data(), received));
    if (!written) {
        return fail(DownloadFailure(TDownloadFailure::DownloadFailed,
                                    "writing " + state.TempFilePath + ": " + written.Error()));
    }
    state.DownloadOK = true;
    state.Busy = false;
    return state.Image();
}

} // namespace qor
