// A small HTTP/1.1 server on 127.0.0.1 with an ephemeral port, run in a thread of its own,
// for the download tests and benchmarks. It answers one request per connection, records
// every request it got, and can be told to misbehave.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/HttpRequestHead.h"
#include "support/PatternBytes.h"

namespace qor::test {

enum class TServeFault {
    None,
    ResetMidBody,       // FaultAfter body bytes, then the connection is reset
    StallBeforeHeaders, // the request is read, nothing is answered
    StallMidBody,       // FaultAfter body bytes, then nothing more
    Slow,               // the body in SlowPiece pieces, SlowDelay apart
};

struct TServedFile {
    int Status = 200;
    std::string Reason = "OK";
    std::vector<std::uint8_t> Body;
    // With no Content-Length the end of the body is the end of the connection.
    bool SendContentLength = true;
    // Sent instead of the body's real length when set.
    std::optional<std::string> ContentLengthText;
    TServeFault Fault = TServeFault::None;
    std::size_t FaultAfter = 0;
    std::size_t SlowPiece = 1024;
    std::chrono::milliseconds SlowDelay{5};
    // The response is held back this long after the request has arrived.
    std::chrono::milliseconds HeaderDelay{0};

    static TServedFile Of(std::vector<std::uint8_t> body) {
        TServedFile file;
        file.Body = std::move(body);
        return file;
    }
    TServedFile& NoLength() {
        SendContentLength = false;
        return *this;
    }
    TServedFile& AnnouncedLength(std::string text) {
        ContentLengthText = std::move(text);
        return *this;
    }
    TServedFile& Failing(TServeFault fault, std::size_t after = 0) {
        Fault = fault;
        FaultAfter = after;
        return *this;
    }
    TServedFile& AnsweredAfter(std::chrono::milliseconds delay) {
        HeaderDelay = delay;
        return *this;
    }
    TServedFile& Slowly(std::size_t piece, std::chrono::milliseconds delay) {
        Fault = TServeFault::Slow;
        SlowPiece = piece;
        SlowDelay = delay;
        return *this;
    }
};

class TLoopbackHttpServer {
public:
    TLoopbackHttpServer();
    ~TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

    std::uint16_t Port() const { return BoundPort; }
    // Serves `file` for requests of `path`; any other path gets a 404.
    void Serve(const std::string& path, TServedFile file);
    std::vector<TRecordedRequest> Requests() const;

private:
    void Run();
    void HandleConnection(int fd);
    // Waits until the stop is asked for or the peer goes away.
    void WaitForStopOrHangUp(int fd) const;
    bool SendAll(int fd, const std::uint8_t* data, std::size_t size) const;
    bool Stopping() const;

    int ListenFd = -1;
    int StopPipe[2] = {-1, -1};
    std::uint16_t BoundPort = 0;
    mutable std::mutex Mutex;
    std::map<std::string, TServedFile> Files;
    std::vector<TRecordedRequest> Recorded;
    std::thread Thread;
};

} // namespace qor::test
