// The bootloader's verbs: one request, one reply, over the link's open connection. The device
// may answer any request with any good reply (codes 0 to 12): each is decoded by its own code,
// stored into the device's values and handed back. A bad reply fails the exchange with a
// reason that names what went wrong, so a caller can say why a step failed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "base/Result.h"
#include "device/DeviceInfo.h"
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
    ShortData,    // a good frame too short for its code's data: its code is in Code
    NoChecksums,  // an update's read-back went through, but no reply carried checksums
};

struct TExchangeError {
    TExchangeFault Fault = TExchangeFault::NoConnection;
    TFrameError Frame{TFrameFault::NoReply};
    std::uint8_t Code = 0;
    std::string Detail; // the port's words, when it failed

    std::string Describe() const;
};

template <typename T> using TExchange = TResult<T, TExchangeError>;

using TReply = TExchange<TReplyValue>;

class TBootloaderClient {
public:
    // Every good reply is stored into `values` by its own code, whatever was asked.
    TBootloaderClient(TDeviceLink& link, TDeviceInfo& values);

    // Each verb returns the good reply that came, whichever it is: the query's own value,
    // another value, or an acknowledgement.
    TReply QueryVersion();
    TReply QueryPageCount();
    TReply QueryPageSize();
    TReply QueryChecksums();
    TReply QueryFirmwareVersion();

    TReply BeginUpdate();
    TReply EndUpdate();
    // Both range requests carry 0x00 and the low byte of pageCount - 1.
    TReply PrepareRange(std::uint32_t pageCount);
    TReply FinishRange(std::uint32_t pageCount);
    // One block of BlockSize bytes at its byte address.
    TReply WriteBlock(std::uint32_t address, std::span<const std::uint8_t> block);
    TReply PowerOff();

    // While set, a reply that keeps the client waiting is waited for in slices, with this
    // called between them, so a caller on a GUI thread is never held for a whole exchange.
    void SetWhileWaiting(std::function<void()> serve) { WhileWaiting = std::move(serve); }
    // True while an exchange waits for its reply; a second one started from the events served
    // meanwhile is refused before it touches the request, which the first one still needs.
    bool InExchange() const { return Exchanging; }

private:
    // Reads `bytes` within `timeout`, in slices when WhileWaiting is set.
    TPortIo ReadReply(IPortConnection& port, std::span<std::uint8_t> bytes, TMilliseconds timeout);
    // One exchange: once the client is free, `fill` lays out the request's payload (of the
    // request's own size), the frame goes out and its reply comes back decoded and stored.
    template <typename TFill> TReply Exchange(std::uint8_t code, const TFill& fill);
    TReply Transfer(std::size_t payloadSize);
    TReply Simple(std::uint8_t code);
    TReply Range(std::uint8_t code, std::uint32_t pageCount);

    TDeviceLink& Link;
    TDeviceInfo& Values;
    std::function<void()> WhileWaiting;
    bool Exchanging = false;
    // Fixed buffers, reused from exchange to exchange: no allocation per request.
    std::array<std::uint8_t, SendBufferSize> Request{};
    std::array<std::uint8_t, ReplyBufferSize> Reply{};
};

} // namespace qor
