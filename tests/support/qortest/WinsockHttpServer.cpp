#include "qortest/WinsockHttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

namespace qor::test {
namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t MaxRequestHead = 8192;
// How often a wait looks whether the server stops.
constexpr long StopPollUs = 20000;
constexpr const char* HeadEnd = "\r\n\r\n";
constexpr std::chrono::seconds DrainLimit{2};

bool SendAll(SOCKET socket, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int sent =
            ::send(socket, bytes, static_cast<int>(std::min<std::size_t>(size, 65536)), 0);
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool SendText(SOCKET socket, const std::string& text) {
    return SendAll(socket, text.data(), text.size());
}

// Waits up to `us` for the socket to become readable; -1 on error.
int Readable(SOCKET socket, long us) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{0, us};
    return ::select(0, &readable, nullptr, nullptr, &wait);
}

} // namespace

TWinsockHttpServer::TWinsockHttpServer() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        throw std::runtime_error("test server: WSAStartup failed");
    }
    Started = true;
    Listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (Listener == INVALID_SOCKET ||
        ::bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(Listener, SOMAXCONN) != 0 ||
        ::getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    BoundPort = ntohs(address.sin_port);
    Thread = std::thread([this] { Run(); });
}

TWinsockHttpServer::~TWinsockHttpServer() {
    Stopping = true;
    if (Thread.joinable()) {
        Thread.join();
    }
    if (Listener != INVALID_SOCKET) {
        ::closesocket(Listener);
    }
    if (Started) {
        ::WSACleanup();
    }
}

void TWinsockHttpServer::Serve(const std::string& path, TServedFile file) {
    auto shared = std::make_shared<const TServedFile>(std::move(file));
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(shared);
}

std::vector<TServedRequest> TWinsockHttpServer::Requests() const {
    const std::lock_guard lock(Mutex);
    return Recorded;
}

void TWinsockHttpServer::Record(const TServedRequest& request) {
    const std::lock_guard lock(Mutex);
    Recorded.push_back(request);
}

void TWinsockHttpServer::Run() {
    while (!Stopping) {
        if (Readable(Listener, StopPollUs) <= 0) {
            continue;
        }
        const SOCKET client = ::accept(Listener, nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            HandleConnection(client);
            ::closesocket(client);
        }
    }
}

bool TWinsockHttpServer::Pause(SOCKET client, std::chrono::milliseconds delay) const {
    const auto end = TClock::now() + delay;
    while (!Stopping) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(end - TClock::now());
        if (left.count() <= 0) {
            return true;
        }
        const int ready =
            Readable(client, std::min<long>(StopPollUs, static_cast<long>(left.count())));
        if (ready < 0) {
            return false;
        }
        if (ready > 0) {
            char scratch[256];
            if (::recv(client, scratch, sizeof scratch, 0) <= 0) {
                return false; // the peer went away
            }
        }
    }
    return false;
}

void TWinsockHttpServer::HoldUntilGone(SOCKET client) const {
    while (!Stopping) {
        const int ready = Readable(client, StopPollUs);
        if (ready < 0) {
            return;
        }
        if (ready > 0) {
            char scratch[256];
            if (::recv(client, scratch, sizeof scratch, 0) <= 0) {
                return;
            }
        }
    }
}

void TWinsockHttpServer::HandleConnection(SOCKET client) {
    std::string head;
    char buffer[4096];
    while (head.find(HeadEnd) == std::string::npos && head.size() < MaxRequestHead) {
        const int ready = Readable(client, StopPollUs);
        if (Stopping || ready < 0) {
            return;
        }
        if (ready == 0) {
            continue;
        }
        const int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    TServedRequest request;
    static_cast<TRecordedRequest&>(request) = ParseRequestHead(head);
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
        HoldUntilGone(client);
        return;
    }
    if (file->HeaderDelay.count() > 0 && !Pause(client, file->HeaderDelay)) {
        Record(request);
        return;
    }
    if (file->Fault == TServeFault::TrickleHeaders) {
        Record(request);
        if (SendText(client, StatusLine(*file))) {
            for (std::size_t n = 1;
                 Pause(client, file->SlowDelay) && SendText(client, TrickleLine(n)); ++n) {
            }
        }
        return;
    }
    if (!SendText(client, ResponseHead(*file))) {
        Record(request);
        return;
    }
    switch (file->Fault) {
    case TServeFault::ResetMidBody: {
        SendAll(client, body, std::min(file->FaultAfter, size));
        Record(request);
        // An abortive close: the peer sees a reset, not the end of the body.
        linger abort{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                     sizeof abort);
        return;
    }
    case TServeFault::StallMidBody: {
        const bool sent = SendAll(client, body, std::min(file->FaultAfter, size));
        Record(request);
        if (sent) {
            HoldUntilGone(client);
        }
        return;
    }
    case TServeFault::Slow:
        for (std::size_t at = 0; at < size; at += file->SlowPiece) {
            if (!SendAll(client, body + at, std::min(file->SlowPiece, size - at)) ||
                !Pause(client, file->SlowDelay)) {
                Record(request);
                return;
            }
        }
        break;
    default:
        if (!SendAll(client, body, size)) {
            Record(request);
            return;
        }
        break;
    }
    request.BodyBytes = size;
    Record(request);
    ::shutdown(client, SD_SEND);
    // Drains what the client still sends, so the close does not turn into a reset; a client
    // that neither sends nor closes holds the server up a moment at most.
    const auto end = TClock::now() + DrainLimit;
    char scratch[256];
    while (!Stopping && TClock::now() < end) {
        const int ready = Readable(client, StopPollUs);
        if (ready < 0 || (ready > 0 && ::recv(client, scratch, sizeof scratch, 0) <= 0)) {
            return;
        }
    }
}

} // namespace qor::test
