// The firmware server of the demo, the tests and the benchmarks: a small HTTP/1.1 server on
// 127.0.0.1 with an ephemeral port, run in a thread of its own, one request per connection.
// GET and HEAD of a served path answer with its file (faults included), any other path 404.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Result.h"
#include "sim/LoopbackSocket.h"
#include "sim/ServedFile.h"

namespace qor {

class TFirmwareServer {
public:
    TFirmwareServer() = default;
    ~TFirmwareServer();
    TFirmwareServer(const TFirmwareServer&) = delete;
    TFirmwareServer& operator=(const TFirmwareServer&) = delete;

    // Binds and starts the thread; the reason when it cannot.
    TResult<void> Start();
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
    using TSocket = loopback::TSocket;

    void Run();
    void HandleConnection(const TSocket& peer);
    // Reads the request head; fails when the peer went away, stayed silent, sent too much or
    // we stop.
    TResult<std::string> ReadHead(const TSocket& peer) const;
    bool SendAll(const TSocket& peer, const void* data, std::size_t size) const;
    // Ends the reply and lets the client read it all before the socket goes.
    void FinishReply(const TSocket& peer) const;
    bool SendText(const TSocket& peer, const std::string& text) const {
        return SendAll(peer, text.data(), text.size());
    }
    // Waits for the peer or the stop signal; false on stop, time-out or error.
    bool WaitFor(const TSocket& peer, loopback::TWaitFor what) const;
    // Waits for `delay`; false when the peer went away or we stop meanwhile.
    bool Pause(const TSocket& peer, std::chrono::milliseconds delay) const;
    // Reads and drops what the peer sends until it goes away, we stop, or it stays silent for
    // `silenceMs` (-1: however long).
    void DrainUntilGone(const TSocket& peer, int silenceMs) const;
    // Reads and drops what the peer sent; false once it has gone.
    bool Discard(const TSocket& peer) const;
    void Record(TServedRequest request);

    loopback::TSocketLibrary Sockets; // first in, last out
    TSocket Listener;
    loopback::TStopSignal StopSignal;
    std::uint16_t BoundPort = 0;
    std::thread Thread;
    mutable std::mutex Mutex;
    TServedFiles Files;
    std::deque<TServedRequest> Log;
};

} // namespace qor
