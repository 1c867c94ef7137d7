#include "download/DownloadTransfer.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>

#include "base/TextTable.h"
#include "firmware/DeviceVariant.h"
#include "platform/SecretBytes.h"

namespace qor {
namespace {

constexpr const char* UserAgent = "qor_fw_update";
constexpr const char* RequestVerb = "GET";
constexpr const char* ProxyScheme = "http://";
constexpr const char* ProxyBypassList = "";
constexpr const char* AcceptedStatus = "200";
constexpr const char* StatusSeparator = "  -  ";
constexpr std::size_t ReadSize = 512;

// The handles opened so far, closed in the order request, connection, internet handle
// whichever way the transfer ends.
class THandles {
public:
    explicit THandles(IHttpSession& session) : Session(session) {}
    THandles(const THandles&) = delete;
    THandles& operator=(const THandles&) = delete;
    ~THandles() { CloseAll(); }

    bool Internet = false;
    bool Connection = false;
    bool Request = false;

    void CloseAll() {
        if (Request) {
            Session.CloseRequest();
        }
        if (Connection) {
            Session.CloseConnection();
        }
        if (Internet) {
            Session.CloseInternet();
        }
        Request = Connection = Internet = false;
    }

private:
    IHttpSession& Session;
};

} // namespace

std::string FirmwareRequestPath(std::uint8_t deviceVariant) {
    return DownloadPathOf(deviceVariant);
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

TDownloadTransfer::TDownloadTransfer(const TSettings& settings, IDataProtection& protection,
                                     THttpSessionFactory sessions, TDownloadFiles files)
    : Settings(settings), Protection(protection), Sessions(std::move(sessions)),
      Files(std::move(files)) {
}

bool TDownloadTransfer::DownloadFirmware(TDownloadState& state, const TPump& pump) const {
    struct TRunning {
        TDownloadState& State;
        explicit TRunning(TDownloadState& s) : State(s) { State.Running = true; }
        TRunning(const TRunning&) = delete;
        TRunning& operator=(const TRunning&) = delete;
        ~TRunning() {
            State.Running = false;
            State.AwaitingResponse = false;
        }
    } running(state);
    const auto text = [this](TTextId id) {
        return std::string(Txt(id, Settings.CfgLanguage));
    };
    const auto runPump = [&pump] {
        if (pump) {
            pump();
        }
    };
    // Only the successful end sets DownloadOK, and leaving clears AwaitingResponse, so the
    // failure paths below set neither.
    state.FailureDetail.clear();
    state.DownloadOK = false;
    state.SizeKnown = false;
    state.TotalBytes = 0;
    state.ReceivedBytes = 0;

    // Without a private temporary directory there is nowhere safe to put the image, so the
    // transfer is not even begun.
    std::string dirError;
    const std::optional<std::string> tempDir = Files.TempDirectory(dirError);
    if (!tempDir) {
        state.TempFilePath.clear();
        state.View.LStatus = text(TxtDownloadFailed);
        state.FailureDetail = "no temporary directory: " + dirError;
        return false;
    }
    state.TempFilePath = *tempDir + DownloadFileName;

    state.View.LStatus = text(TxtServerConnecting);
    state.AwaitingResponse = true;
    runPump();
    state.Busy = true;

    const std::unique_ptr<IHttpSession> session = Sessions(pump);
    if (!session) {
        state.View.LStatus = text(TxtServerFailed);
        state.FailureDetail = "no HTTP client";
        state.Busy = false;
        return false;
    }
    THandles handles(*session);
    const auto fail = [&](std::string status, std::string detail) {
        handles.CloseAll();
        state.View.LStatus = std::move(status);
        state.FailureDetail = std::move(detail);
        state.Busy = false;
        return false;
    };
    const auto serverFailure = [&] {
        return fail(text(TxtServerFailed), session->LastError());
    };

    const bool viaProxy = Settings.CfgUseProxy;
    const std::string proxyName = viaProxy ? ProxyScheme + Settings.CfgProxyServer + ":" +
                                                 std::to_string(Settings.CfgProxyPort)
                                           : std::string();
    if (!session->Open(UserAgent, viaProxy ? THttpAccess::Proxy : THttpAccess::Direct, proxyName,
                       ProxyBypassList)) {
        return serverFailure();
    }
    handles.Internet = true;
    if (!session->Connect(Server.Host, Server.Port)) {
        return serverFailure();
    }
    handles.Connection = true;

    // Credentials only go to a proxy; with authentication but no proxy the access is direct.
    if (viaProxy && Settings.CfgUseProxyAuth) {
        if (!session->SetProxyUserName(Settings.CfgProxyUser)) {
            return serverFailure();
        }
        // No blob means no password was ever entered: that is the empty password, stored as
        // its terminating zero. A blob that does not unprotect (another user, altered) is not
        // guessed at: nothing is sent.
        std::optional<TSecretBytes> password;
        if (Settings.CfgProxyPassword.empty()) {
            password.emplace();
            password->Resize(1);
        } else {
            password = Protection.Unprotect(Settings.CfgProxyPassword);
        }
        if (!password) {
            return fail(text(TxtServerFailed), "the stored proxy password cannot be unprotected");
        }
        if (!session->SetProxyPassword(password->View())) {
            return serverFailure();
        }
    }

    if (!session->OpenRequest(RequestVerb, FirmwareRequestPath(state.DeviceVariant), true)) {
        return serverFailure();
    }
    handles.Request = true;
    if (!session->SendRequest()) {
        return serverFailure();
    }
    const std::optional<std::string> status = session->QueryStatusCode();
    if (!status) {
        return serverFailure();
    }
    if (*status != AcceptedStatus) {
        return fail(text(TxtServerFailed) + StatusSeparator + *status,
                    "the server answered with status " + *status);
    }
    const std::optional<std::string> length = session->QueryContentLength();
    state.SizeKnown = length.has_value();
    state.TotalBytes = length ? ParseContentLength(*length) : 0;
    state.AwaitingResponse = false;

    std::uint32_t received = 0;
    for (;;) {
        if (!state.Busy) {
            handles.CloseAll();
            state.View.LStatus = text(TxtCancelled);
            return false;
        }
        if (state.SizeKnown && state.TotalBytes > state.DownloadBuffer.size()) {
            return fail(text(TxtDownloadFailed), "the announced image of " +
                                                     std::to_string(state.TotalBytes) +
                                                     " bytes is larger than the buffer");
        }
        // With the buffer full, one more read into a spare byte tells the end of the body
        // from a body that does not fit.
        const std::size_t room = state.DownloadBuffer.size() - received;
        std::uint8_t spare = 0;
        const std::span<std::uint8_t> target =
            room == 0 ? std::span<std::uint8_t>(&spare, 1)
                      : std::span<std::uint8_t>(state.DownloadBuffer.data() + received,
                                                std::min(room, ReadSize));
        const std::optional<std::size_t> count = session->Read(target);
        if (!count) {
            return fail(text(TxtDownloadFailed), session->LastError());
        }
        if (room == 0 && *count > 0) {
            return fail(text(TxtDownloadFailed), "the image is larger than " +
                                                     std::to_string(state.DownloadBuffer.size()) +
                                                     " bytes");
        }
        received += static_cast<std::uint32_t>(*count);
        state.ReceivedBytes = received;
        runPump();
        if (*count == 0) {
            break;
        }
    }

    handles.CloseAll();
    std::string writeError;
    if (!Files.WriteFile(state.TempFilePath,
                         std::span<const std::uint8_t>(state.DownloadBuffer.data(), received),
                         writeError)) {
        return fail(text(TxtDownloadFailed), "writing " + state.TempFilePath + ": " + writeError);
    }
    state.DownloadOK = true;
    state.Busy = false;
    return true;
}

} // namespace qor
