// The download tests' loopback HTTP server for the Windows build, on Winsock: 127.0.0.1 with
// an ephemeral port, a thread of its own, one request per connection, every request recorded.
// It serves the same TServedFile descriptions as the Linux server (status, body, with or
// without a length, a reset in the middle of the body, a late answer).
#pragma once

#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/LoopbackHttpServer.h"

namespace qor::test {

class TWinsockHttpServer {
public:
    TWinsockHttpServer();
    ~TWinsockHttpServer();
    TWinsockHttpServer(const TWinsockHttpServer&) = delete;
    TWinsockHttpServer& operator=(const TWinsockHttpServer&) = delete;

    std::uint16_t Port() const { return BoundPort; }
    // Serves `file` for requests of `path`; any other path gets a 404.
    void Serve(const std::string& path, TServedFile file);
    std::vector<TRecordedRequest> Requests() const;

private:
    void Run();
    void HandleConnection(SOCKET client);
    TServedFile FileFor(const std::string& target) const;

    bool Started = false;
    SOCKET Listener = INVALID_SOCKET;
    std::uint16_t BoundPort = 0;
    std::atomic<bool> Stopping{false};
    mutable std::mutex Mutex;
    std::map<std::string, TServedFile> Files;
    std::vector<TRecordedRequest> Recorded;
    std::thread Thread;
};

} // namespace qor::test
