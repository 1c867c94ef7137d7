#include "device/BootloaderClient.h"

#include <algorithm>
#include <cstring>

#include "base/ByteOrder.h"

namespace qor {
namespace {

TExchangeError PortFailure(TExchangeFault fault, TPortIo io) {
    TExchangeError error;
    error.Fault = fault;
    error.Detail = std::move(io.Detail);
    return error;
}

TExchangeError FrameFailure(TFrameError frame, std::string detail = {}) {
    TExchangeError error;
    error.Fault = TExchangeFault::BadReply;
    error.Frame = frame;
    error.Detail = std::move(detail);
    return error;
}

TExchangeError FaultOf(TExchangeFault fault, std::uint8_t code = 0) {
    TExchangeError error;
    error.Fault = fault;
    error.Code = code;
    return error;
}

} // namespace

std::string TExchangeError::Describe() const {
    std::string text;
    switch (Fault) {
    case TExchangeFault::NoConnection:
        text = "no connection to the device";
        break;
    case TExchangeFault::Busy:
        text = "another exchange with the device is still waiting for its reply";
        break;
    case TExchangeFault::WriteFailed:
        text = "the request could not be sent";
        break;
    case TExchangeFault::BadReply:
        text = DescribeFrameError(Frame);
        break;
    case TExchangeFault::ShortData:
        text = "the reply of code " + std::to_string(Code) + " was too short for its data";
        break;
    case TExchangeFault::NoChecksums:
        text = "the device reported no checksums after the update";
        break;
    }
    if (!Detail.empty()) {
        text += " (" + Detail + ")";
    }
    return text;
}

TBootloaderClient::TBootloaderClient(TDeviceLink& link, TDeviceInfo& values)
    : Link(link), Values(values) {
}

TPortIo TBootloaderClient::ReadReply(IPortConnection& port, std::span<std::uint8_t> bytes,
                                     TMilliseconds timeout) {
    if (!WhileWaiting) {
        return port.Read(bytes, timeout);
    }
    // A read that comes back short has waited its whole slice: the slices add up to the
    // time-out whichever clock the port keeps.
    TPortIo total;
    for (TMilliseconds left = timeout;;) {
        const TMilliseconds slice = std::min(left, WaitSlice);
        TPortIo part = port.Read(bytes.subspan(total.Count), slice);
        total.Count += part.Count;
        if (!part.Ok()) {
            total.Status = part.Status;
            total.Detail = std::move(part.Detail);
            return total;
        }
        left -= slice;
        if (total.Count == bytes.size() || left <= TMilliseconds::zero()) {
            return total;
        }
        WhileWaiting();
    }
}

template <typename TFill> TReply TBootloaderClient::Exchange(std::uint8_t code, const TFill& fill) {
    if (Exchanging) {
        return Fail(FaultOf(TExchangeFault::Busy));
    }
    const struct TBusy {
        bool& Flag;
        explicit TBusy(bool& flag) : Flag(flag) { Flag = true; }
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;
        ~TBusy() { Flag = false; }
    } busy(Exchanging);
    const std::size_t payloadSize = *RequestPayloadSize(code);
    fill(StartFrame(Request, code, payloadSize));
    return Transfer(payloadSize);
}

TReply TBootloaderClient::Transfer(std::size_t payloadSize) {
    // Held for the whole exchange: events served while it waits may close the link's
    // connection, never this one under the exchange.
    const std::shared_ptr<IPortConnection> connection = Link.SharedConnection();
    if (!connection) {
        return Fail(TExchangeError{});
    }
    IPortConnection* port = connection.get();
    // Taken now: events served while waiting must not change this exchange's time-outs.
    const TMilliseconds readTimeout = Link.ReadTimeout();
    const std::span<const std::uint8_t> frame = SealFrame(Request, payloadSize);

    // Whatever is left of an earlier exchange must not be taken for this one's reply.
    if (TPortIo purged = port->Purge(); !purged.Ok()) {
        return Fail(PortFailure(TExchangeFault::WriteFailed, std::move(purged)));
    }
    TPortIo sent = port->Write(frame, Link.WriteTimeout());
    if (!sent.Ok() || sent.Count != frame.size()) {
        if (sent.Ok()) {
            sent.Detail = std::to_string(sent.Count) + " of " + std::to_string(frame.size()) +
                          " bytes went out";
        }
        return Fail(PortFailure(TExchangeFault::WriteFailed, std::move(sent)));
    }

    const std::span<std::uint8_t> reply(Reply);
    TPortIo head = ReadReply(*port, reply.first(LengthFieldSize), readTimeout);
    std::size_t received = head.Count;
    if (head.Ok() && received == LengthFieldSize) {
        // Bounded before the second read: a length the buffer cannot take fails here, and
        // whatever of it is still on the line is dropped by the next exchange's purge.
        const std::size_t length = ReadBe16(reply.data());
        if (length >= MinFrameLength && length <= ReplyBufferSize) {
            TPortIo rest = ReadReply(
                *port, reply.subspan(LengthFieldSize, length - LengthFieldSize), readTimeout);
            received += rest.Count;
            head = std::move(rest);
        }
    }
    auto decoded = DecodeReply(reply.first(received));
    if (!decoded) {
        return Fail(FrameFailure(decoded.Error(), std::move(head.Detail)));
    }
    std::optional<TReplyValue> value = DecodeReplyValue(*decoded);
    if (!value) {
        return Fail(FaultOf(TExchangeFault::ShortData, decoded->Code));
    }
    StoreReplyValue(Values, *value);
    return std::move(*value);
}

TReply TBootloaderClient::Simple(std::uint8_t code) {
    return Exchange(code, [](std::span<std::uint8_t>) {});
}

TReply TBootloaderClient::Range(std::uint8_t code, std::uint32_t pageCount) {
    return Exchange(code, [pageCount](std::span<std::uint8_t> payload) {
        payload[0] = 0x00;
        payload[1] = static_cast<std::uint8_t>((pageCount - 1) & 0xFFu);
    });
}

TReply TBootloaderClient::QueryVersion() {
    return Simple(CmdGetBootVersion);
}

TReply TBootloaderClient::QueryPageCount() {
    return Simple(CmdGetPageCount);
}

TReply TBootloaderClient::QueryPageSize() {
    return Simple(CmdGetPageSize);
}

TReply TBootloaderClient::QueryChecksums() {
    return Simple(CmdGetChecksums);
}

TReply TBootloaderClient::QueryFirmwareVersion() {
    return Simple(CmdGetFirmwareVersion);
}

TReply TBootloaderClient::BeginUpdate() {
    return Simple(CmdBeginUpdate);
}

TReply TBootloaderClient::EndUpdate() {
    return Simple(CmdEndUpdate);
}

TReply TBootloaderClient::PrepareRange(std::uint32_t pageCount) {
    return Range(CmdPrepareRange, pageCount);
}

TReply TBootloaderClient::FinishRange(std::uint32_t pageCount) {
    return Range(CmdFinishRange, pageCount);
}

TReply TBootloaderClient::WriteBlock(std::uint32_t address, std::span<const std::uint8_t> block) {
    return Exchange(CmdWriteBlock, [address, block](std::span<std::uint8_t> payload) {
        WriteBe32(payload.data(), address);
        std::memcpy(payload.data() + BlockAddressSize, block.data(), BlockSize);
    });
}

TReply TBootloaderClient::PowerOff() {
    return Simple(CmdPowerOff);
}

} // namespace qor
