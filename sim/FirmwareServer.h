// The firmware server of the demo, the tests and the benchmarks: a small HTTP/1.1 server on
// 127.0.0.1 with an ephemeral port, run in a thread of its own, one request per connection.
// GET and HEAD of a served path answer with its file (faults included), any other path 404.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/PosixFiles.h"
#include "sim/ServedFile.h"

namespace qor {

class TFirmwareServer {
public:
    TFirmwareServer() = default;
    ~TFirmwareServer();
    TFirmwareServer(const TFirmwareServer&) = delete;
    TFirmwareServer& operator=(const TFirmwareServer&) = delete;

    // Binds and starts the thread; the reason when it cannot.
    std::optional<std::string> Start();
    // Ends the thread; a transfer under way is cut off. Called by the destructor.
    void Stop();

    bool Running() const { return Thread.joinable(); }
    std::uint16_t Port() const { return BoundPort; }
    // Serves `file` at `path` ("/name.bin"), replacing what was served there.
    void Serve(const std::string& path, TServedFile file);
    void Serve(const std::string& path, std::vector<std::uint8_t> body) {
        Serve(path, TServedFile::Of(std::move(body)));
    }
    // The requests answered (the last 64 at most), oldest first. A request is recorded before
    // its client can see the end of the reply.
    std::vector<TServedRequest> Requests() const;
    // The same, forgetting them.
    std::vector<TServedRequest> TakeLog();

private:
    void Run();
    void HandleConnection(int fd);
    // Reads the request head; nullopt when the peer went away, stayed silent or we stop.
    std::optional<std::string> ReadHead(int fd) const;
    bool SendAll(int fd, const void* data, std::size_t size) const;
    // Ends the reply and lets the client read it all before the socket goes.
    void FinishReply(int fd) const;
    bool SendText(int fd, const std::string& text) const {
        return SendAll(fd, text.data(), text.size());
    }
    // Waits for `events` on fd or the stop signal; false on stop, time-out or error.
    bool WaitFor(int fd, short events) const;
    // Waits for `delay`; false when the peer went away or we stop meanwhile.
    bool Pause(int fd, std::chrono::milliseconds delay) const;
    // Holds the connection until the peer goes away or we stop.
    void HoldUntilGone(int fd) const;
    void Record(TServedRequest request);

    posix::TFileHandle Listener;
    // Written to by Stop; the thread's waits also watch the read end.
    posix::TFileHandle StopRead;
    posix::TFileHandle StopWrite;
    std::uint16_t BoundPort = 0;
    std::thread Thread;
    mutable std::mutex Mutex;
    TServedFiles Files;
    std::deque<TServedRequest> Log;
};

} // namespace qor
