#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>

#include "sim/LoopbackSocket.h"

namespace qor::loopback {
namespace {

SOCKET Id(const TSocket& socket) {
    return static_cast<SOCKET>(socket.Get());
}

TSocket Own(SOCKET socket) {
    return socket == INVALID_SOCKET ? TSocket() : TSocket(static_cast<std::uintptr_t>(socket));
}

TError Failed(const char* what) {
    return {std::string(what) + ": Winsock error " + std::to_string(::WSAGetLastError())};
}

bool MakeNonBlocking(const TSocket& socket) {
    u_long on = 1;
    return ::ioctlsocket(Id(socket), FIONBIO, &on) == 0;
}

// A loopback address at the port the system picks, and the socket bound to it.
TResult<TSocket> BoundToLoopback(int type, int protocol, sockaddr_in& address) {
    TSocket socket = Own(::socket(AF_INET, type, protocol));
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (!socket.Valid() ||
        ::bind(Id(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(Id(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return Fail(Failed("cannot bind to 127.0.0.1"));
    }
    return socket;
}

TTransfer Moved(int result) {
    if (result > 0) {
        return {static_cast<std::size_t>(result), false, false};
    }
    if (result == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        return {0, true, false};
    }
    return {0, false, true};
}

// Winsock moves at most an int's worth per call.
int Chunk(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, 1U << 20U));
}

} // namespace

void TSocket::Reset() {
    if (Valid()) {
        ::closesocket(Id(*this));
        Handle = Invalid;
    }
}

TSocketLibrary::TSocketLibrary() {
    WSADATA data{};
    Started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

TSocketLibrary::~TSocketLibrary() {
    if (Started) {
        ::WSACleanup();
    }
}

TResult<TListener> ListenOnLoopback(int backlog) {
    sockaddr_in address{};
    auto socket = BoundToLoopback(SOCK_STREAM, IPPROTO_TCP, address);
    if (!socket) {
        return Fail(socket.Error());
    }
    if (::listen(Id(*socket), backlog) != 0 || !MakeNonBlocking(*socket)) {
        return Fail(Failed("cannot listen on 127.0.0.1"));
    }
    return TListener{std::move(*socket), ntohs(address.sin_port)};
}

TSocket Accept(const TSocket& listener) {
    TSocket accepted = Own(::accept(Id(listener), nullptr, nullptr));
    // An accepted socket takes the listener's mode; said again, as the POSIX side says it.
    if (accepted.Valid() && !MakeNonBlocking(accepted)) {
        return {};
    }
    return accepted;
}

TResult<void> TStopSignal::Open() {
    sockaddr_in address{};
    auto socket = BoundToLoopback(SOCK_DGRAM, IPPROTO_UDP, address);
    if (!socket) {
        return Fail(socket.Error().Within("the stop signal"));
    }
    if (::connect(Id(*socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !MakeNonBlocking(*socket)) {
        return Fail(Failed("the stop signal cannot reach itself"));
    }
    Socket = std::move(*socket);
    return {};
}

void TStopSignal::Raise() const {
    // The datagram stays unread, so every later wait sees it too; a full queue is raised already.
    const char byte = 0;
    ::send(Id(Socket), &byte, 1, 0);
}

TWaitEnd Wait(const TSocket& socket, TWaitFor what, const TStopSignal& stop, int timeoutMs) {
    // select, not WSAPoll: the same on every Windows and under Wine. No exception set: Wine at
    // times failed to report a peer's end of stream for a socket in both sets, which held the
    // server for its whole time-out after each such reply. A failed connection reads as ready
    // anyway, and the read that follows says what happened.
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(Id(socket), what == TWaitFor::Reading ? &readable : &writable);
    FD_SET(Id(stop.Watched()), &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, &readable, &writable, nullptr, timeoutMs < 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR) {
        return TWaitEnd::Failed;
    }
    if (ready == 0) {
        return TWaitEnd::TimedOut;
    }
    if (FD_ISSET(Id(stop.Watched()), &readable)) {
        return TWaitEnd::Stopped;
    }
    return TWaitEnd::Ready;
}

TTransfer Receive(const TSocket& socket, void* buffer, std::size_t size) {
    return Moved(::recv(Id(socket), static_cast<char*>(buffer), Chunk(size), 0));
}

TTransfer Send(const TSocket& socket, const void* data, std::size_t size) {
    // Windows raises no signal for a peer that has gone.
    return Moved(::send(Id(socket), static_cast<const char*>(data), Chunk(size), 0));
}

void ShutdownSending(const TSocket& socket) {
    ::shutdown(Id(socket), SD_SEND);
}

void ResetOnClose(const TSocket& socket) {
    const linger abort{1, 0};
    ::setsockopt(Id(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                 sizeof abort);
}

} // namespace qor::loopback
