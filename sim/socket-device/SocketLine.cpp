#include "sim/socket-device/SocketLine.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <thread>
#include <vector>

namespace qor {
namespace {

// The guest fetches a reply from the adapter some time after it reached QEMU; the line closes
// (and the adapter leaves the guest's bus) only after that.
constexpr auto LeaveDelay = std::chrono::milliseconds(200);

volatile sig_atomic_t StopSignal = 0;
sigset_t WaitMask; // the mask the waits run with: the stop signals let through

extern "C" void OnStopSignal(int signal) {
    StopSignal = signal;
}

std::uint64_t NowUs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// Waits for `events` on `fd`; false when a stop signal came or the wait failed.
bool WaitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    while (StopSignal == 0) {
        const int ready = ::ppoll(&p, 1, nullptr, &WaitMask);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

bool SendAll(int fd, const TByteVector& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

TLineSummary Ended(TLineSummary summary, TLineEnd end, std::string reason = {}) {
    summary.End = end;
    summary.Reason = std::move(reason);
    return summary;
}

} // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    ::sigprocmask(SIG_BLOCK, &stop, &WaitMask);
    sigdelset(&WaitMask, SIGTERM);
    sigdelset(&WaitMask, SIGINT);
}

TResult<posix::TFileHandle> ListenAt(const std::string& path) {
    const std::string staging = path + ".new";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (staging.size() >= sizeof address.sun_path) {
        return Fail(TError{"the socket path " + path + " is too long"});
    }
    std::memcpy(address.sun_path, staging.c_str(), staging.size() + 1);
    posix::TFileHandle listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ::unlink(staging.c_str());
    if (!listener.Valid() ||
        ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 1) != 0 || ::rename(staging.c_str(), path.c_str()) != 0) {
        const std::string reason = posix::ErrorText("cannot listen at", path);
        ::unlink(staging.c_str());
        return Fail(TError{reason});
    }
    return listener;
}

TResult<posix::TFileHandle> AcceptPeer(int listener) {
    if (!WaitFor(listener, POLLIN)) {
        return Fail(TError{StopSignal != 0 ? "before a peer connected"
                                           : posix::ErrorText("cannot wait on", "the socket")});
    }
    posix::TFileHandle peer(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer.Valid()) {
        return Fail(TError{posix::ErrorText("cannot accept on", "the socket")});
    }
    return peer;
}

TLineSummary ServeLine(int peer, TVirtualDevice& device, std::ostream* trace) {
    TLineSummary summary;
    const std::uint64_t startUs = NowUs();
    const auto log = [&](const char* what, std::size_t bytes, int code) {
        if (trace != nullptr) {
            *trace << std::fixed << std::setprecision(3) << std::setw(10)
                   << static_cast<double>(NowUs() - startUs) / 1000 << " ms " << what << ' '
                   << bytes;
            if (code >= 0) {
                *trace << " code " << code;
            }
            *trace << '\n';
        }
    };
    std::vector<TReplyBurst> replies;
    std::uint8_t buffer[4096];
    while (true) {
        if (!WaitFor(peer, POLLIN)) {
            return StopSignal != 0 ? Ended(summary, TLineEnd::Stopped)
                                   : Ended(summary, TLineEnd::Failed,
                                           posix::ErrorText("cannot wait on", "the socket"));
        }
        const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return Ended(summary, TLineEnd::PeerClosed);
        }
        if (n < 0) {
            return Ended(summary, TLineEnd::Failed, posix::ErrorText("cannot read", "the socket"));
        }
        ++summary.Reads;
        summary.BytesIn += static_cast<std::size_t>(n);
        log("in", static_cast<std::size_t>(n), -1);
        replies.clear();
        device.Receive(buffer, static_cast<std::size_t>(n), NowUs(), 0, replies);
        for (const TReplyBurst& burst : replies) {
            if (burst.DelayUs != 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(burst.DelayUs));
            }
            if (!SendAll(peer, burst.Bytes)) {
                return Ended(summary, TLineEnd::Failed,
                             posix::ErrorText("cannot write", "the socket"));
            }
            ++summary.Replies;
            log("out", burst.Bytes.size(), burst.Bytes.size() > 2 ? burst.Bytes[2] : -1);
            if (burst.SwitchOffAfter) {
                std::this_thread::sleep_for(LeaveDelay);
                device.SwitchOff();
                return Ended(summary, TLineEnd::PoweredOff);
            }
        }
    }
}

} // namespace qor
