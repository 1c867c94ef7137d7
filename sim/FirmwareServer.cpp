#include "sim/FirmwareServer.h"

#include <algorithm>

namespace qor {
namespace {

using TClock = std::chrono::steady_clock;
using loopback::TWaitEnd;
using loopback::TWaitFor;

constexpr std::size_t MaxHeadBytes = 8192;
constexpr int IoTimeoutMs = 10000; // a peer silent this long is dropped
constexpr std::size_t MaxLogEntries = 64;
constexpr int ListenBacklog = 8;

} // namespace

TFirmwareServer::~TFirmwareServer() {
    Stop();
}

TResult<void> TFirmwareServer::Start() {
    if (Running()) {
        return {};
    }
    if (!Sockets.Ready()) {
        return Fail(TError{"the system's sockets are not available"});
    }
    loopback::TStopSignal stop;
    if (auto opened = stop.Open(); !opened) {
        return opened;
    }
    auto listener = loopback::ListenOnLoopback(ListenBacklog);
    if (!listener) {
        return Fail(listener.Error());
    }
    Listener = std::move(listener->Socket);
    StopSignal = std::move(stop);
    BoundPort = listener->Port;
    Thread = std::thread([this] { Run(); });
    return {};
}

void TFirmwareServer::Stop() {
    if (Thread.joinable()) {
        StopSignal.Raise();
        Thread.join();
    }
    Listener.Reset();
    StopSignal.Close();
}

void TFirmwareServer::Serve(const std::string& path, TServedFile file) {
    auto shared = std::make_shared<const TServedFile>(std::move(file));
    const std::lock_guard lock(Mutex);
    Files[path] = std::move(shared);
}

std::vector<TServedRequest> TFirmwareServer::Requests() const {
    const std::lock_guard lock(Mutex);
    return {Log.begin(), Log.end()};
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
        switch (loopback::Wait(Listener, TWaitFor::Reading, StopSignal, -1)) {
        case TWaitEnd::Ready:
            if (const TSocket peer = loopback::Accept(Listener); peer.Valid()) {
                HandleConnection(peer);
            }
            break;
        case TWaitEnd::TimedOut:
            break;
        default:
            return;
        }
    }
}

bool TFirmwareServer::WaitFor(const TSocket& peer, TWaitFor what) const {
    return loopback::Wait(peer, what, StopSignal, IoTimeoutMs) == TWaitEnd::Ready;
}

bool TFirmwareServer::Discard(const TSocket& peer) const {
    char scratch[256];
    const auto read = loopback::Receive(peer, scratch, sizeof scratch);
    return !read.Ended;
}

bool TFirmwareServer::Pause(const TSocket& peer, std::chrono::milliseconds delay) const {
    const auto end = TClock::now() + delay;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - TClock::now());
        if (left.count() <= 0) {
            return true;
        }
        switch (
            loopback::Wait(peer, TWaitFor::Reading, StopSignal, static_cast<int>(left.count()))) {
        case TWaitEnd::Ready:
            if (!Discard(peer)) {
                return false; // the peer went away
            }
            break;
        case TWaitEnd::TimedOut:
            break;
        default:
            return false;
        }
    }
}

void TFirmwareServer::DrainUntilGone(const TSocket& peer, int silenceMs) const {
    while (loopback::Wait(peer, TWaitFor::Reading, StopSignal, silenceMs) == TWaitEnd::Ready &&
           Discard(peer)) {
    }
}

TResult<std::string> TFirmwareServer::ReadHead(const TSocket& peer) const {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > MaxHeadBytes) {
            return Fail(TError{"the request head is longer than " + std::to_string(MaxHeadBytes) +
                               " bytes"});
        }
        if (!WaitFor(peer, TWaitFor::Reading)) {
            return Fail(TError{"the client stayed silent, or the server stops"});
        }
        const auto read = loopback::Receive(peer, buffer, sizeof buffer);
        if (read.Ended) {
            return Fail(TError{"the client went away before the end of its request"});
        }
        head.append(buffer, read.Bytes);
    }
    return head;
}

bool TFirmwareServer::SendAll(const TSocket& peer, const void* data, std::size_t size) const {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    while (sent < size) {
        if (!WaitFor(peer, TWaitFor::Writing)) {
            return false;
        }
        const auto written = loopback::Send(peer, bytes + sent, size - sent);
        if (written.Ended) {
            return false;
        }
        sent += written.Bytes;
    }
    return true;
}

void TFirmwareServer::HandleConnection(const TSocket& peer) {
    // A request that never came whole is not answered; nobody waits for its reason.
    const auto head = ReadHead(peer);
    if (!head) {
        return;
    }
    TServedRequest request;
    static_cast<TRecordedRequest&>(request) = ParseRequestHead(*head);
    std::shared_ptr<const TServedFile> file;
    {
        const std::lock_guard lock(Mutex);
        file = ReplyTo(request, Files);
    }
    request.Status = file->Status;
    const std::uint8_t* body = file->Body.data();
    const std::size_t size = request.Method == "HEAD" ? 0 : file->Body.size();

    // Every way below records the request before the client can see the reply end.
    if (file->Fault == TServeFault::StallBeforeHeaders) {
        Record(request);
        DrainUntilGone(peer, -1);
        return;
    }
    if (file->HeaderDelay.count() > 0 && !Pause(peer, file->HeaderDelay)) {
        Record(request);
        return;
    }
    if (file->Fault == TServeFault::TrickleHeaders) {
        Record(request);
        if (SendText(peer, StatusLine(*file))) {
            for (std::size_t n = 1; Pause(peer, file->SlowDelay) && SendText(peer, TrickleLine(n));
                 ++n) {
            }
        }
        return;
    }
    const std::string responseHead = ResponseHead(*file);
    const bool plain = file->Fault != TServeFault::ResetMidBody &&
                       file->Fault != TServeFault::StallMidBody && file->Fault != TServeFault::Slow;
    if (plain) {
        // The reply's last byte goes out only once the request is logged: a client that has
        // read it all must find it in the log.
        request.BodyBytes = size;
        const auto* headBytes = reinterpret_cast<const std::uint8_t*>(responseHead.data());
        const bool ok = size == 0 ? SendAll(peer, headBytes, responseHead.size() - 1)
                                  : SendAll(peer, headBytes, responseHead.size()) &&
                                        SendAll(peer, body, size - 1);
        Record(request);
        if (ok) {
            const std::uint8_t last =
                size == 0 ? headBytes[responseHead.size() - 1] : body[size - 1];
            SendAll(peer, &last, 1);
        }
        FinishReply(peer);
        return;
    }
    if (!SendText(peer, responseHead)) {
        Record(request);
        return;
    }
    switch (file->Fault) {
    case TServeFault::ResetMidBody: {
        SendAll(peer, body, std::min(file->FaultAfter, size));
        Record(request);
        loopback::ResetOnClose(peer);
        return;
    }
    case TServeFault::StallMidBody: {
        const bool sent = SendAll(peer, body, std::min(file->FaultAfter, size));
        Record(request);
        if (sent) {
            DrainUntilGone(peer, -1);
        }
        return;
    }
    default: // slow: the body in pieces, a pause after each
        for (std::size_t at = 0; at < size; at += file->SlowPiece) {
            const std::size_t piece = std::min(file->SlowPiece, size - at);
            if (at + piece == size) {
                request.BodyBytes = size;
                Record(request); // before the last piece, as above
            }
            if (!SendAll(peer, body + at, piece) || !Pause(peer, file->SlowDelay)) {
                if (at + piece != size) {
                    Record(request);
                }
                return;
            }
        }
        if (size == 0) {
            request.BodyBytes = 0;
            Record(request);
        }
        break;
    }
    FinishReply(peer);
}

void TFirmwareServer::FinishReply(const TSocket& peer) const {
    loopback::ShutdownSending(peer);
    // Let the client read to the end before the socket goes away, a silent one not forever.
    DrainUntilGone(peer, IoTimeoutMs);
}

} // namespace qor
