#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "sim/LoopbackSocket.h"

namespace qor::loopback {
namespace {

int Fd(const TSocket& socket) {
    return static_cast<int>(socket.Get());
}

TSocket Own(int fd) {
    return fd < 0 ? TSocket() : TSocket(static_cast<std::uintptr_t>(fd));
}

TError Failed(const char* what) {
    return {std::string(what) + ": " + std::strerror(errno)};
}

// A loopback address at the port the system picks, and the socket bound to it.
TResult<TSocket> BoundToLoopback(int type, sockaddr_in& address) {
    TSocket socket = Own(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!socket.Valid() ||
        ::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return Fail(Failed("cannot bind to 127.0.0.1"));
    }
    return socket;
}

TTransfer Moved(ssize_t result) {
    if (result > 0) {
        return {static_cast<std::size_t>(result), false, false};
    }
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return {0, true, false};
    }
    return {0, false, true};
}

} // namespace

void TSocket::Reset() {
    if (Valid()) {
        ::close(Fd(*this));
        Handle = Invalid;
    }
}

TSocketLibrary::TSocketLibrary() : Started(true) {
}
TSocketLibrary::~TSocketLibrary() = default;

TResult<TListener> ListenOnLoopback(int backlog) {
    sockaddr_in address{};
    auto socket = BoundToLoopback(SOCK_STREAM, address);
    if (!socket) {
        return Fail(socket.Error());
    }
    if (::listen(Fd(*socket), backlog) != 0) {
        return Fail(Failed("cannot listen on 127.0.0.1"));
    }
    return TListener{std::move(*socket), ntohs(address.sin_port)};
}

TSocket Accept(const TSocket& listener) {
    return Own(::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

TResult<void> TStopSignal::Open() {
    sockaddr_in address{};
    auto socket = BoundToLoopback(SOCK_DGRAM | SOCK_NONBLOCK, address);
    if (!socket) {
        return Fail(socket.Error().Within("the stop signal"));
    }
    if (::connect(Fd(*socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return Fail(Failed("the stop signal cannot reach itself"));
    }
    Socket = std::move(*socket);
    return {};
}

void TStopSignal::Raise() const {
    // The datagram stays unread, so every later wait sees it too; a full queue is raised already.
    const char byte = 0;
    [[maybe_unused]] const auto sent = ::send(Fd(Socket), &byte, 1, MSG_NOSIGNAL);
}

TWaitEnd Wait(const TSocket& socket, TWaitFor what, const TStopSignal& stop, int timeoutMs) {
    const short events = what == TWaitFor::Reading ? POLLIN : POLLOUT;
    pollfd fds[2] = {{Fd(socket), events, 0}, {Fd(stop.Watched()), POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return TWaitEnd::Failed;
        }
        if (ready == 0) {
            return TWaitEnd::TimedOut;
        }
        if (fds[1].revents != 0) {
            return TWaitEnd::Stopped;
        }
        return (fds[0].revents & (events | POLLHUP | POLLERR)) != 0 ? TWaitEnd::Ready
                                                                    : TWaitEnd::Failed;
    }
}

TTransfer Receive(const TSocket& socket, void* buffer, std::size_t size) {
    return Moved(::recv(Fd(socket), buffer, size, MSG_DONTWAIT));
}

TTransfer Send(const TSocket& socket, const void* data, std::size_t size) {
    return Moved(::send(Fd(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL));
}

void ShutdownSending(const TSocket& socket) {
    ::shutdown(Fd(socket), SHUT_WR);
}

void ResetOnClose(const TSocket& socket) {
    const linger abort{1, 0};
    ::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

} // namespace qor::loopback
