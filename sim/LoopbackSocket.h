// The few socket calls the firmware server makes, each on the system's own API: a listener on
// 127.0.0.1, non-blocking reads and writes, and waits that also watch a stop signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "base/Result.h"

namespace qor::loopback {

// An owned socket; the system's handle stays inside.
class TSocket {
public:
    static constexpr std::uintptr_t Invalid = ~std::uintptr_t{0};

    TSocket() = default;
    explicit TSocket(std::uintptr_t handle) : Handle(handle) {}
    ~TSocket() { Reset(); }
    TSocket(TSocket&& other) noexcept : Handle(std::exchange(other.Handle, Invalid)) {}
    TSocket& operator=(TSocket&& other) noexcept {
        if (this != &other) {
            Reset();
            Handle = std::exchange(other.Handle, Invalid);
        }
        return *this;
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    bool Valid() const { return Handle != Invalid; }
    std::uintptr_t Get() const { return Handle; }
    void Reset();

private:
    std::uintptr_t Handle = Invalid;
};

// Windows counts the users of its socket library; a user holds one of these for as long as it
// has sockets. Nothing to do elsewhere.
class TSocketLibrary {
public:
    TSocketLibrary();
    ~TSocketLibrary(); // NOLINT(performance-trivially-destructible): not on Windows
    TSocketLibrary(const TSocketLibrary&) = delete;
    TSocketLibrary& operator=(const TSocketLibrary&) = delete;

    bool Ready() const { return Started; }

private:
    bool Started = false;
};

struct TListener {
    TSocket Socket;
    std::uint16_t Port = 0;
};

// Listens on 127.0.0.1 at a port the system picks.
TResult<TListener> ListenOnLoopback(int backlog);
// The next connection, non-blocking; an invalid socket when there is none.
TSocket Accept(const TSocket& listener);

// A signal every wait watches besides its socket. A datagram socket that talks to itself:
// unlike a pipe, Windows can wait on it together with a socket.
class TStopSignal {
public:
    TResult<void> Open();
    // Wakes every wait, now and later.
    void Raise() const;
    void Close() { Socket.Reset(); }
    const TSocket& Watched() const { return Socket; }

private:
    TSocket Socket;
};

enum class TWaitFor { Reading, Writing };
enum class TWaitEnd { Ready, Stopped, TimedOut, Failed };
// Waits until `socket` is ready (a peer that went away counts as ready to read), the signal
// is raised or `timeoutMs` passed; a negative time-out waits as long as it takes.
TWaitEnd Wait(const TSocket& socket, TWaitFor what, const TStopSignal& stop, int timeoutMs);

// What a non-blocking read or write did.
struct TTransfer {
    std::size_t Bytes = 0;
    bool WouldBlock = false; // nothing moved, try again after a wait
    bool Ended = false;      // the peer closed (read) or the connection failed
};
TTransfer Receive(const TSocket& socket, void* buffer, std::size_t size);
// Never raises a signal when the peer has gone.
TTransfer Send(const TSocket& socket, const void* data, std::size_t size);

// Ends our direction: the peer reads the end of the stream.
void ShutdownSending(const TSocket& socket);
// Makes the close a reset: the peer sees the connection fail, not end.
void ResetOnClose(const TSocket& socket);

} // namespace qor::loopback
