// A plain-socket HTTP client for the server tests: sends the request text as it is and reads
// until the server closes, so malformed requests can be sent too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim/HttpHead.h"

namespace qor::test {

struct THttpReply {
    std::string StatusLine;
    std::map<std::string, std::string> Headers; // names in lower case
    std::vector<std::uint8_t> Body;
    bool Complete = false; // a head ending in an empty line was received
};

class TSocket {
public:
    explicit TSocket(std::uint16_t port) : Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        Connected = Fd >= 0 &&
                    ::connect(Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~TSocket() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    bool Send(const std::string& text) {
        return ::send(Fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    std::string ReceiveAll() {
        std::string all;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::recv(Fd, buffer, sizeof buffer, 0)) > 0) {
            all.append(buffer, static_cast<std::size_t>(got));
        }
        return all;
    }

    int Fd;
    bool Connected = false;
};

inline THttpReply ParseReply(const std::string& raw) {
    THttpReply reply;
    const auto end = raw.find("\r\n\r\n");
    if (end == std::string::npos) {
        return reply;
    }
    reply.Complete = true;
    THttpHead head = ParseHttpHead(raw.substr(0, end + 4));
    reply.StatusLine = std::move(head.FirstLine);
    reply.Headers = std::move(head.Headers);
    reply.Body.assign(raw.begin() + static_cast<std::ptrdiff_t>(end + 4), raw.end());
    return reply;
}

inline THttpReply Request(std::uint16_t port, const std::string& text) {
    TSocket socket(port);
    if (!socket.Connected || !socket.Send(text)) {
        return {};
    }
    return ParseReply(socket.ReceiveAll());
}

inline THttpReply Get(std::uint16_t port, const std::string& target) {
    return Request(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

} // namespace qor::test
