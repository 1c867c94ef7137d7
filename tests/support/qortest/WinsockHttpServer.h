// The firmware server for the Windows tests, on Winsock: 127.0.0.1 with an ephemeral port, a
// thread of its own, one request per connection, every request recorded. It answers with the
// same replies and faults as the POSIX server of the demo and the Linux tests; only the
// sockets differ.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/ServedFile.h"

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
    std::vector<TServedRequest> Requests() const;

private:
    void Run();
    void HandleConnection(SOCKET client);
    // Waits for `delay`; false when the peer went away or the server stops meanwhile.
    bool Pause(SOCKET client, std::chrono::milliseconds delay) const;
    void HoldUntilGone(SOCKET client) const;
    void Record(const TServedRequest& request);

    bool Started = false;
    SOCKET Listener = INVALID_SOCKET;
    std::uint16_t BoundPort = 0;
    std::atomic<bool> Stopping{false};
    mutable std::mutex Mutex;
    TServedFiles Files;
    std::vector<TServedRequest> Recorded;
    std::thread Thread;
};

} // namespace qor::test
