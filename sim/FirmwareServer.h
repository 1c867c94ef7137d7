// The demo's download server: a small HTTP/1.1 server on 127.0.0.1 with an ephemeral port,
// run in a thread of its own. GET and HEAD of a served path answer 200 with the file and its
// Content-Length, any other path 404; one request per connection.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/PosixFiles.h"

namespace qor {

struct TServedRequest {
    std::string Method;
    std::string Target;
    int Status = 0;
    std::uint64_t BodyBytes = 0; // the body's length when it went out whole, else 0
};

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
    // Serves `body` at `path` ("/name.bin"), replacing what was served there.
    void Serve(const std::string& path, std::vector<std::uint8_t> body);
    // The requests answered since the last call, oldest first (the last 32 at most).
    std::vector<TServedRequest> TakeLog();

private:
    using TBody = std::shared_ptr<const std::vector<std::uint8_t>>;

    void Run();
    void HandleConnection(int fd);
    // Reads the request head; nullopt when the peer went away, stayed silent or we stop.
    std::optional<std::string> ReadHead(int fd) const;
    bool SendAll(int fd, const std::uint8_t* data, std::size_t size) const;
    // Waits for `events` on fd or the stop signal; false on stop, time-out or error.
    bool WaitFor(int fd, short events) const;
    void Record(TServedRequest request);

    posix::TFileHandle Listener;
    // Written to by Stop; the thread's waits also watch the read end.
    posix::TFileHandle StopRead;
    posix::TFileHandle StopWrite;
    std::uint16_t BoundPort = 0;
    std::thread Thread;
    mutable std::mutex Mutex;
    std::map<std::string, TBody> Files;
    std::deque<TServedRequest> Log;
};

} // namespace qor
