#include "sim/FirmwareServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace qor {
namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t MaxHeadBytes = 8192;
constexpr int IoTimeoutMs = 10000; // a peer silent this long is dropped
constexpr std::size_t MaxLogEntries = 64;
constexpr int ListenBacklog = 8;

} // namespace

TFirmwareServer::~TFirmwareServer() {
    Stop();
}

std::optional<std::string> TFirmwareServer::Start() {
    if (Running()) {
        return std::nullopt;
    }
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return std::string("cannot make the stop pipe: ") + std::strerror(errno);
    }
    posix::TFileHandle stopRead(pipeFds[0]);
    posix::TFileHandle stopWrite(pipeFds[1]);
    posix::TFileHandle listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (!listener.Valid() ||
        ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), ListenBacklog) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
    }
    Listener = std::move(listener);
    StopRead = std::move(stopRead);
    StopWrite = std::move(stopWrite);
    BoundPort = ntohs(address.sin_port);
    Thread = std::thread([this] { Run(); });
    return std::nullopt;
}

void TFirmwareServer::Stop() {
    if (Thread.joinable()) {
        const char byte = 0;
        // The pipe only signals; a full pipe is signalled already.
        [[maybe_unused]] const auto written = ::write(StopWrite.Get(), &byte, 1);
        Thread.join();
    }
    Listener.Reset();
    StopRead.Reset();
    StopWrite.Reset();
}

void TFirmwareServer::Serve(const std::string& path, TServedFile file) {
    auto shared = std::make_shared<const TServedFile>(std::move(file));
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(shared);
}

std::vector<TServedRequest> TFirmwareServer::Requests() const {
    const std::lock_guard lock(Mutex);
    return {Log.begin(), Log.end()};
}

std::vector<TServedRequest> TFirmwareServer::TakeLog() {
    const std::lock_guard lock(Mutex);
    std::vector<TServedRequest> taken(Log.begin(), Log.end());
    Log.clear();
    return taken;
}

void TFirmwareServer::Record(TServedRequest request) {
    const std::lock_guard lock(Mutex);
    Log.push_back(std::move(request));
    if (Log.size() > MaxLogEntries) {
        Log.pop_front();
    }
}

void TFirmwareServer::Run() {
    for (;;) {
        pollfd fds[2] = {{Listener.Get(), POLLIN, 0}, {StopRead.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const posix::TFileHandle connection(
                ::accept4(Listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.Valid()) {
                HandleConnection(connection.Get());
            }
        }
    }
}

bool TFirmwareServer::WaitFor(int fd, short events) const {
    pollfd fds[2] = {{fd, events, 0}, {StopRead.Get(), POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, IoTimeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && fds[1].revents == 0 && (fds[0].revents & (events | POLLHUP)) != 0;
    }
}

bool TFirmwareServer::Pause(int fd, std::chrono::milliseconds delay) const {
    const auto end = TClock::now() + delay;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - TClock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {StopRead.Get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            if (fds[1].revents != 0) {
                return false;
            }
            char scratch[256];
            if (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) <= 0) {
                return false; // the peer went away
            }
        }
    }
}

void TFirmwareServer::HoldUntilGone(int fd) const {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {StopRead.Get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready > 0) {
            if (fds[1].revents != 0) {
                return;
            }
            char scratch[256];
            if (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) <= 0) {
                return;
            }
        }
    }
}

std::optional<std::string> TFirmwareServer::ReadHead(int fd) const {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > MaxHeadBytes || !WaitFor(fd, POLLIN)) {
            return std::nullopt;
        }
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return std::nullopt;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return head;
}

bool TFirmwareServer::SendAll(int fd, const void* data, std::size_t size) const {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    while (sent < size) {
        if (!WaitFor(fd, POLLOUT)) {
            return false;
        }
        const ssize_t n = ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void TFirmwareServer::HandleConnection(int fd) {
    const auto head = ReadHead(fd);
    if (!head) {
        return;
    }
    TServedRequest request;
    static_cast<TRecordedRequest&>(request) = ParseRequestHead(*head);
    std::shared_ptr<const TServedFile> file;
    {
        const std::lock_guard lock(Mutex);
        file = ReplyTo(request, Files);
    }
    request.Status = file->Status;
    const std::uint8_t* body = file->Body.data();
    const std::size_t size = request.Method == "HEAD" ? 0 : file->Body.size();

    // Every way below records the request before the client can see the reply end.
    if (file->Fault == TServeFault::StallBeforeHeaders) {
        Record(request);
        HoldUntilGone(fd);
        return;
    }
    if (file->HeaderDelay.count() > 0 && !Pause(fd, file->HeaderDelay)) {
        Record(request);
        return;
    }
    if (file->Fault == TServeFault::TrickleHeaders) {
        Record(request);
        if (SendText(fd, StatusLine(*file))) {
            for (std::size_t n = 1; Pause(fd, file->SlowDelay) && SendText(fd, TrickleLine(n));
                 ++n) {
            }
        }
        return;
    }
    const std::string responseHead = ResponseHead(*file);
    const bool plain = file->Fault != TServeFault::ResetMidBody &&
                       file->Fault != TServeFault::StallMidBody && file->Fault != TServeFault::Slow;
    if (plain) {
        // The reply's last byte goes out only once the request is logged: a client that has
        // read it all must find it in the log.
        request.BodyBytes = size;
        const auto* headBytes = reinterpret_cast<const std::uint8_t*>(responseHead.data());
        const bool ok =
            size == 0 ? SendAll(fd, headBytes, responseHead.size() - 1)
                      : SendAll(fd, headBytes, responseHead.size()) && SendAll(fd, body, size - 1);
        Record(request);
        if (ok) {
            const std::uint8_t last =
                size == 0 ? headBytes[responseHead.size() - 1] : body[size - 1];
            SendAll(fd, &last, 1);
        }
        FinishReply(fd);
        return;
    }
    if (!SendText(fd, responseHead)) {
        Record(request);
        return;
    }
    switch (file->Fault) {
    case TServeFault::ResetMidBody: {
        SendAll(fd, body, std::min(file->FaultAfter, size));
        Record(request);
        const linger abort{1, 0}; // closing now sends a reset
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return;
    }
    case TServeFault::StallMidBody: {
        const bool sent = SendAll(fd, body, std::min(file->FaultAfter, size));
        Record(request);
        if (sent) {
            HoldUntilGone(fd);
        }
        return;
    }
    default: // slow: the body in pieces, a pause after each
        for (std::size_t at = 0; at < size; at += file->SlowPiece) {
            const std::size_t piece = std::min(file->SlowPiece, size - at);
            if (at + piece == size) {
                request.BodyBytes = size;
                Record(request); // before the last piece, as above
            }
            if (!SendAll(fd, body + at, piece) || !Pause(fd, file->SlowDelay)) {
                if (at + piece != size) {
                    Record(request);
                }
                return;
            }
        }
        if (size == 0) {
            request.BodyBytes = 0;
            Record(request);
        }
        break;
    }
    FinishReply(fd);
}

void TFirmwareServer::FinishReply(int fd) const {
    ::shutdown(fd, SHUT_WR);
    // Let the client read to the end before the socket goes away, a silent one not forever.
    char scratch[256];
    while (WaitFor(fd, POLLIN) && ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

} // namespace qor
