// The bootloader's verbs: one request, one reply, over the link's open connection. Each verb
// takes only the replies the protocol lets answer its request; anything else fails the
// exchange with a reason that names what went wrong, so a caller can say why a step failed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "base/Result.h"
#include "device/DeviceLink.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"
#include "device/ReplyValue.h"

namespace qor {

// How long a waiting exchange goes before it lets its caller serve events.
inline constexpr TMilliseconds WaitSlice{5};

enum class TExchangeFault {
    NoConnection, // no device open, or it was lost and found again meanwhile
    Busy,         // another exchange is still waiting for its reply on this client
    WriteFailed,  // the request did not go out whole
    BadReply,     // see Frame: no reply, short, bad length, bad CRC, refused
    WrongReply,   // a good frame that cannot answer this request: its code is in Code
    ShortData,    // a good frame too short for its code's data
};

struct TExchangeError {
    TExchangeFault Fault = TExchangeFault::NoConnection;
    TFrameError Frame{TFrameFault::NoReply};
    std::uint8_t Code = 0;
    std::string Detail; // the port's words, when it failed

    std::string Describe() const;
};

template <typename T> using TExchange = TResult<T, TExchangeError>;

class TBootloaderClient {
public:
    explicit TBootloaderClient(TDeviceLink& link);

    // Any good reply answers it, decoded by its own code: usually the version, but the
    // device may answer with another value or an acknowledgement.
    TExchange<TReplyValue> QueryVersion();
    TExchange<std::uint8_t> QueryPageCount();
    // The page size in bytes; nullopt for a code that names no size (still a good reply).
    TExchange<std::optional<std::uint32_t>> QueryPageSize();
    TExchange<TChecksums> QueryChecksums();
    // Four bytes as the device sent them (Windows-1252).
    TExchange<std::string> QueryFirmwareVersion();

    TExchange<void> BeginUpdate();
    TExchange<void> EndUpdate();
    // Both range requests carry 0x00 and the low byte of pageCount - 1.
    TExchange<void> PrepareRange(std::uint32_t pageCount);
    TExchange<void> FinishRange(std::uint32_t pageCount);
    // One block of BlockSize bytes at its byte address.
    TExchange<void> WriteBlock(std::uint32_t address, std::span<const std::uint8_t> block);
    TExchange<void> PowerOff();

    // While set, a reply that keeps the client waiting is waited for in slices, with this
    // called between them, so a caller on a GUI thread is never held for a whole exchange.
    void SetWhileWaiting(std::function<void()> serve) { WhileWaiting = std::move(serve); }
    // True while an exchange waits for its reply; a second one started from the events served
    // meanwhile is refused, as it would overwrite the first one's request and reply.
    bool InExchange() const { return Exchanging; }

private:
    // Reads `bytes` within `timeout`, in slices when WhileWaiting is set.
    TPortIo ReadReply(IPortConnection& port, std::span<std::uint8_t> bytes, TMilliseconds timeout);
    // Sends the frame laid out in Request and returns its reply's value, from a reply code
    // that may answer the request.
    TExchange<TReplyValue> Exchange(std::size_t payloadSize);
    TExchange<TReplyValue> Transfer(std::size_t payloadSize);
    TExchange<TReplyValue> Simple(std::uint8_t code);
    // A query whose reply carries its own code, so its value is of that code's type.
    template <typename T> TExchange<T> Query(std::uint8_t code);
    TExchange<void> Range(std::uint8_t code, std::uint32_t pageCount);

    TDeviceLink& Link;
    std::function<void()> WhileWaiting;
    bool Exchanging = false;
    // Fixed buffers, reused from exchange to exchange: no allocation per request.
    std::array<std::uint8_t, SendBufferSize> Request{};
    std::array<std::uint8_t, ReplyBufferSize> Reply{};
};

} // namespace qor
