#include "download/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qor::test {
namespace {

constexpr std::size_t MaxRequestHead = std::size_t{64} * 1024;

} // namespace

TLoopbackHttpServer::TLoopbackHttpServer() {
    if (pipe2(StopPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("test server: pipe failed");
    }
    ListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (ListenFd < 0 ||
        bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(ListenFd, 16) != 0 ||
        getsockname(ListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error(std::string("test server: cannot listen: ") + strerror(errno));
    }
    BoundPort = ntohs(address.sin_port);
    Thread = std::thread([this] { Run(); });
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
    const char stop = 's';
    (void)!write(StopPipe[1], &stop, 1);
    if (Thread.joinable()) {
        Thread.join();
    }
    close(ListenFd);
    close(StopPipe[0]);
    close(StopPipe[1]);
}

void TLoopbackHttpServer::Serve(const std::string& path, TServedFile file) {
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(file);
}

std::vector<TRecordedRequest> TLoopbackHttpServer::Requests() const {
    const std::lock_guard lock(Mutex);
    return Recorded;
}

bool TLoopbackHttpServer::Stopping() const {
    pollfd stop{StopPipe[0], POLLIN, 0};
    return poll(&stop, 1, 0) > 0;
}

void TLoopbackHttpServer::Run() {
    for (;;) {
        pollfd fds[2] = {{ListenFd, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int fd = accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                HandleConnection(fd);
                close(fd);
            }
        }
    }
}

void TLoopbackHttpServer::WaitForStopOrHangUp(int fd) const {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[0].revents != 0) {
            char scratch[256];
            if (recv(fd, scratch, sizeof scratch, 0) <= 0) {
                return;
            }
        }
    }
}

bool TLoopbackHttpServer::SendAll(int fd, const std::uint8_t* data, std::size_t size) const {
    while (size > 0) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {StopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            return false;
        }
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void TLoopbackHttpServer::HandleConnection(int fd) {
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < MaxRequestHead) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
            return;
        }
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) {
            return;
        }
        head.append(chunk, static_cast<std::size_t>(got));
    }
    TRecordedRequest request = ParseRequestHead(head);
    TServedFile file;
    {
        const std::lock_guard lock(Mutex);
        Recorded.push_back(request);
        auto it = Files.find(RequestPath(request.Target));
        if (it != Files.end()) {
            file = it->second;
        } else {
            file.Status = 404;
            file.Reason = "Not Found";
            const std::string text = "not here\n";
            file.Body.assign(text.begin(), text.end());
        }
    }
    if (file.Fault == TServeFault::StallBeforeHeaders) {
        WaitForStopOrHangUp(fd);
        return;
    }
    if (file.HeaderDelay.count() > 0) {
        pollfd stop{StopPipe[0], POLLIN, 0};
        if (poll(&stop, 1, static_cast<int>(file.HeaderDelay.count())) != 0) {
            return;
        }
    }

    std::string response =
        "HTTP/1.1 " + std::to_string(file.Status) + " " + file.Reason + "\r\nServer: loopback\r\n";
    if (file.SendContentLength) {
        response +=
            "Content-Length: " + file.ContentLengthText.value_or(std::to_string(file.Body.size())) +
            "\r\n";
    }
    response += "Connection: close\r\n\r\n";
    if (!SendAll(fd, reinterpret_cast<const std::uint8_t*>(response.data()), response.size())) {
        return;
    }

    const std::uint8_t* body = file.Body.data();
    const std::size_t size = file.Body.size();
    switch (file.Fault) {
    case TServeFault::ResetMidBody: {
        SendAll(fd, body, std::min(file.FaultAfter, size));
        const linger abort{1, 0}; // closing now sends a reset
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return;
    }
    case TServeFault::StallMidBody:
        if (SendAll(fd, body, std::min(file.FaultAfter, size))) {
            WaitForStopOrHangUp(fd);
        }
        return;
    case TServeFault::Slow:
        for (std::size_t at = 0; at < size && !Stopping(); at += file.SlowPiece) {
            if (!SendAll(fd, body + at, std::min(file.SlowPiece, size - at))) {
                return;
            }
            std::this_thread::sleep_for(file.SlowDelay);
        }
        return;
    default:
        SendAll(fd, body, size);
        shutdown(fd, SHUT_WR);
        // Let the client read to the end before the socket goes away.
        WaitForStopOrHangUp(fd);
        return;
    }
}

} // namespace qor::test
