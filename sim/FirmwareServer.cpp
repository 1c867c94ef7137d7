#include "sim/FirmwareServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qor {
namespace {

constexpr std::size_t MaxHeadBytes = 8192;
constexpr int IoTimeoutMs = 10000; // a peer silent this long is dropped
constexpr std::size_t MaxLogEntries = 32;
constexpr int ListenBacklog = 8;

struct TRequestLine {
    std::string Method;
    std::string Target;
};

// "GET /x HTTP/1.1" from the first line of the head.
std::optional<TRequestLine> ParseRequestLine(const std::string& head) {
    const std::string line = head.substr(0, head.find("\r\n"));
    const auto first = line.find(' ');
    const auto second = line.find(' ', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos || first == 0 ||
        second == first + 1 || line.compare(second + 1, 7, "HTTP/1.") != 0 ||
        line.size() != second + 9) {
        return std::nullopt;
    }
    return TRequestLine{line.substr(0, first), line.substr(first + 1, second - first - 1)};
}

// The path of an origin-form ("/x?q") or absolute-form ("http://host:port/x") target.
std::string PathOf(std::string target) {
    constexpr std::string_view Scheme = "http://";
    if (target.compare(0, Scheme.size(), Scheme) == 0) {
        const auto slash = target.find('/', Scheme.size());
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    return target.substr(0, target.find_first_of("?#"));
}

std::string Head(int status, const char* reason, std::size_t length, const char* extra = "") {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nServer: qor7316-demo\r\nContent-Length: " + std::to_string(length) + "\r\n" +
           extra + "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
}

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

void TFirmwareServer::Serve(const std::string& path, std::vector<std::uint8_t> body) {
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(body));
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(shared);
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

bool TFirmwareServer::SendAll(int fd, const std::uint8_t* data, std::size_t size) const {
    std::size_t sent = 0;
    while (sent < size) {
        if (!WaitFor(fd, POLLOUT)) {
            return false;
        }
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
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
    const auto line = ParseRequestLine(*head);
    TServedRequest request;
    std::string reply;
    TBody body;
    if (!line) {
        request.Status = 400;
        reply = Head(400, "Bad Request", 0);
    } else {
        request.Method = line->Method;
        request.Target = line->Target;
        if (line->Method != "GET" && line->Method != "HEAD") {
            request.Status = 405;
            reply = Head(405, "Method Not Allowed", 0, "Allow: GET, HEAD\r\n");
        } else {
            {
                const std::lock_guard lock(Mutex);
                const auto it = Files.find(PathOf(line->Target));
                if (it != Files.end()) {
                    body = it->second;
                }
            }
            if (body) {
                request.Status = 200;
                reply = Head(200, "OK", body->size(), "Content-Type: application/octet-stream\r\n");
                if (line->Method == "HEAD") {
                    body.reset();
                }
            } else {
                static constexpr std::string_view NotFound = "Not found\n";
                request.Status = 404;
                reply = Head(404, "Not Found", NotFound.size(), "Content-Type: text/plain\r\n");
                if (line->Method == "GET") {
                    reply += NotFound;
                }
            }
        }
    }
    if (SendAll(fd, reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()) && body &&
        SendAll(fd, body->data(), body->size())) {
        request.BodyBytes = body->size();
    }
    // Recorded before the peer sees the end of the reply, so whoever read it whole finds it
    // in the log.
    Record(std::move(request));
    ::shutdown(fd, SHUT_WR);
}

} // namespace qor
