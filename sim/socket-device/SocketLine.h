// The Unix socket a virtual device is served on: one listening socket, one peer, and the
// bytes between the peer and the device. Signals to stop by are blocked outside the waits, so
// one that comes between two waits ends the next one instead of being missed.
#pragma once

#include <ostream>
#include <string>

#include "base/Result.h"
#include "platform/PosixFiles.h"
#include "sim/VirtualDevice.h"

namespace qor {

// Why serving ended.
enum class TLineEnd {
    PeerClosed,
    PoweredOff, // the device switched off and left the line
    Stopped,    // SIGTERM or SIGINT
    Failed,     // see the reason beside it
};

struct TLineSummary {
    TLineEnd End = TLineEnd::Failed;
    std::string Reason;
    std::size_t Reads = 0;
    std::size_t BytesIn = 0;
    std::size_t Replies = 0;
};

// Blocks SIGTERM and SIGINT (they are taken only inside the waits below) and ignores SIGPIPE.
void CatchStopSignals();

// A socket listening at `path`. It is bound under a name of its own and renamed to `path` once
// it listens, so whoever sees `path` can connect at once.
TResult<posix::TFileHandle> ListenAt(const std::string& path);

// The first peer to connect; fails when a stop signal comes first.
TResult<posix::TFileHandle> AcceptPeer(int listener);

// Carries the peer's bytes to the device and its replies back until the peer closes the line,
// the device switches off or a stop signal comes. With `trace`, every read and reply is
// logged with its time since serving began.
TLineSummary ServeLine(int peer, TVirtualDevice& device, std::ostream* trace);

} // namespace qor
