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
            TResult<TSecretBytes> password = Protection.Unprotect(Settings.CfgProxyPassword);
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

// One transfer, step by step; each step hands back why it failed, and DownloadFirmware leaves
// that in the state.
class TDownloadTransfer::TRun {
public:
    TRun(const TDownloadTransfer& transfer, TDownloadState& state, const TPump& pump)
        : Transfer(transfer), State(state), Pump(pump) {}

    TResult<void, TDownloadError> Run(const std::string& requestPath) {
        if (auto begun = Begin(); !begun) {
            return begun;
        }
        auto session = Connect(requestPath);
        if (!session) {
            return Fail(session.Error());
        }
        auto received = ReadBody(**session);
        if (!received) {
            return Fail(received.Error());
        }
        // Everything the session opened is closed before the file is written.
        session->reset();
        return Save(*received);
    }

private:
    void PumpEvents() const {
        if (Pump) {
            Pump();
        }
    }
    bool TimeUp() const { return Transfer.Now() >= Deadline; }

    // Why a transfer asked to stop ended: the user's Cancel, or else the overall bound.
    TFailure<TDownloadError> Stopped(TDownloadFailure atBound) const {
        if (!State.Busy) {
            return DownloadFailure(TDownloadFailure::Cancelled, "cancelled");
        }
        return DownloadFailure(atBound, "the download did not finish within " +
                                            std::to_string(Transfer.Limits.Overall.count()) + " s");
    }

    // Without a private temporary directory there is nowhere safe to put the image, so the
    // transfer is not even begun.
    TResult<void, TDownloadError> Begin() {
        State.Failure.reset();
        State.DownloadOK = false;
        State.SizeKnown = false;
        State.TotalBytes = 0;
        State.ReceivedBytes = 0;
        TResult<std::string> directory = Transfer.Files.TempDirectory();
        if (!directory) {
            State.TempFilePath.clear();
            return DownloadFailure(TDownloadFailure::DownloadFailed,
                                   directory.Error().Within("no temporary directory").Reason);
        }
        State.TempFilePath = *directory + DownloadFileName;
        State.AwaitingResponse = true;
        PumpEvents();
        State.Busy = true;
        Deadline = Transfer.Now() + Transfer.Limits.Overall;
        return {};
    }

    // The request sent and the head of its response taken: a session whose body is next.
    TResult<std::unique_ptr<IHttpSession>, TDownloadError> Connect(const std::string& path) {
        TResult<THttpRequest, TDownloadError> request = Transfer.MakeRequest(path);
        if (!request) {
            return Fail(request.Error());
        }
        std::unique_ptr<IHttpSession> session =
            Transfer.Sessions(THttpWait{Pump, [this] {
                                            return !State.Busy || TimeUp();
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
                                       response->Status});
        }
        const auto length = AgreedContentLength(response->ContentLengths);
        if (!length) {
            return DownloadFailure(TDownloadFailure::DownloadFailed, length.Error().Reason);
        }
        State.SizeKnown = length->has_value();
        State.TotalBytes = State.SizeKnown ? ParseContentLength(**length) : 0;
        State.AwaitingResponse = false;
        return session;
    }

    // The body into the buffer, piece by piece, with the caller's events between the pieces;
    // how many bytes came.
    TResult<std::uint32_t, TDownloadError> ReadBody(IHttpSession& session) {
        std::vector<std::uint8_t>& buffer = State.DownloadBuffer;
        buffer.clear();
        if (buffer.capacity() < DownloadBufferSize) { // handed on by the transfer before
            buffer = ReservedDownloadBuffer();
        }
        std::uint32_t received = 0;
        for (;;) {
            if (!State.Busy || TimeUp()) {
                return Stopped(TDownloadFailure::DownloadFailed);
            }
            if (State.SizeKnown && State.TotalBytes > DownloadBufferSize) {
                return DownloadFailure(TDownloadFailure::DownloadFailed,
                                       "the announced image of " +
                                           std::to_string(State.TotalBytes) +
                                           " bytes is larger than the buffer");
            }
            // With the buffer full, one more read into a spare byte tells the end of the body
            // from a body that does not fit.
            const std::size_t room = DownloadBufferSize - received;
            std::uint8_t spare = 0;
            buffer.resize(received + std::min(room, ReadSize)); // within the reserved room
            const std::span<std::uint8_t> target =
                room == 0
                    ? std::span<std::uint8_t>(&spare, 1)
                    : std::span<std::uint8_t>(buffer.data() + received, buffer.size() - received);
            const THttpResult<std::size_t> count = session.Read(target);
            buffer.resize(received + (count && room != 0 ? *count : 0));
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
            State.ReceivedBytes = received;
            PumpEvents();
            if (*count == 0) {
                return received;
            }
        }
    }

    TResult<void, TDownloadError> Save(std::uint32_t received) const {
        const TResult<void> written = Transfer.Files.WriteFile(
            State.TempFilePath,
            std::span<const std::uint8_t>(State.DownloadBuffer.data(), received));
        if (!written) {
            return DownloadFailure(TDownloadFailure::DownloadFailed,
                                   written.Error().Within("writing " + State.TempFilePath).Reason);
        }
        return {};
    }

    const TDownloadTransfer& Transfer;
    TDownloadState& State;
    const TPump& Pump;
    std::chrono::steady_clock::time_point Deadline;
};

TDownloadOutcome TDownloadTransfer::DownloadFirmware(TDownloadState& state,
                                                     const std::string& requestPath,
                                                     const TPump& pump) const {
    const TRunning running(state);
    TRun run(*this, state, pump);
    if (auto done = run.Run(requestPath); !done) {
        state.Failure = done.Error();
        state.Busy = false;
        return Fail(done.Error());
    }
    state.DownloadOK = true;
    state.Busy = false;
    return state.Image();
}

} // namespace qor
