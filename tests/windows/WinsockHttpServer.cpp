#include "windows/WinsockHttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace qor::test {
namespace {

constexpr std::size_t MaxRequestHead = std::size_t{64} * 1024;
constexpr long AcceptPollUs = 20000;
constexpr const char* HeadEnd = "\r\n\r\n";

bool SendAll(SOCKET socket, const char* data, std::size_t size) {
    while (size > 0) {
        const int sent =
            ::send(socket, data, static_cast<int>(std::min<std::size_t>(size, 65536)), 0);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
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
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(file);
}

std::vector<TRecordedRequest> TWinsockHttpServer::Requests() const {
    const std::lock_guard lock(Mutex);
    return Recorded;
}

TServedFile TWinsockHttpServer::FileFor(const std::string& target) const {
    const std::lock_guard lock(Mutex);
    const auto it = Files.find(RequestPath(target));
    if (it != Files.end()) {
        return it->second;
    }
    TServedFile missing;
    missing.Status = 404;
    missing.Reason = "Not Found";
    const std::string text = "not here";
    missing.Body.assign(text.begin(), text.end());
    return missing;
}

void TWinsockHttpServer::Run() {
    while (!Stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Listener, &readable);
        timeval wait{0, AcceptPollUs};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) {
            continue;
        }
        const SOCKET client = ::accept(Listener, nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            HandleConnection(client);
        }
    }
}

void TWinsockHttpServer::HandleConnection(SOCKET client) {
    // A client that neither sends nor closes holds the server up this long at most.
    const DWORD receiveTimeoutMs = 2000;
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeoutMs),
                 sizeof receiveTimeoutMs);
    std::string head;
    char buffer[4096];
    while (head.find(HeadEnd) == std::string::npos && head.size() < MaxRequestHead) {
        const int got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ::closesocket(client);
            return;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    const TRecordedRequest request = ParseRequestHead(head);
    {
        const std::lock_guard lock(Mutex);
        Recorded.push_back(request);
    }
    const TServedFile file = FileFor(request.Target);
    if (file.HeaderDelay.count() > 0) {
        std::this_thread::sleep_for(file.HeaderDelay);
    }
    std::string response = "HTTP/1.1 " + std::to_string(file.Status) + " " + file.Reason + "\r\n";
    if (file.SendContentLength) {
        response +=
            "Content-Length: " + file.ContentLengthText.value_or(std::to_string(file.Body.size())) +
            "\r\n";
    }
    response += "Connection: close\r\n\r\n";
    const std::size_t bodyBytes = file.Fault == TServeFault::ResetMidBody
                                      ? std::min(file.FaultAfter, file.Body.size())
                                      : file.Body.size();
    if (SendAll(client, response.data(), response.size())) {
        SendAll(client, reinterpret_cast<const char*>(file.Body.data()), bodyBytes);
    }
    if (file.Fault == TServeFault::ResetMidBody) {
        // An abortive close: the peer sees a reset, not the end of the body.
        linger abort{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                     sizeof abort);
    } else {
        ::shutdown(client, SD_SEND);
        // Drains what the client still sends, so the close does not turn into a reset.
        while (::recv(client, buffer, sizeof buffer, 0) > 0) {
        }
    }
    ::closesocket(client);
}

} // namespace qor::test
