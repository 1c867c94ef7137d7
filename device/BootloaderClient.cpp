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

// An exchange whose reply is taken only as an acknowledgement.
TExchange<void> Done(const TExchange<TReplyValue>& reply) {
    if (!reply) {
        return Fail(reply.Error());
    }
    return {};
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
    case TExchangeFault::WrongReply:
        text = "answered with code " + std::to_string(Code) + ", which cannot answer this request";
        break;
    case TExchangeFault::ShortData:
        text = "the reply was too short for its data";
        break;
    }
    if (!Detail.empty()) {
        text += " (" + Detail + ")";
    }
    return text;
}

TBootloaderClient::TBootloaderClient(TDeviceLink& link) : Link(link) {
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

TExchange<TReplyValue> TBootloaderClient::Exchange(std::size_t payloadSize) {
    if (Exchanging) {
        return Fail(FaultOf(TExchangeFault::Busy));
    }
    Exchanging = true;
    auto reply = Transfer(payloadSize);
    Exchanging = false;
    return reply;
}

TExchange<TReplyValue> TBootloaderClient::Transfer(std::size_t payloadSize) {
    // Held for the whole exchange: events served while it waits may close the link's
    // connection, never this one under the exchange.
    const std::shared_ptr<IPortConnection> connection = Link.SharedConnection();
    if (!connection) {
        return Fail(TExchangeError{});
    }
    IPortConnection* port = connection.get();
    // Taken now: events served while waiting must not change this exchange's time-outs.
    const TMilliseconds readTimeout = Link.ReadTimeout();
    const std::uint8_t code = Request[2];
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
    if (!ReplyAnswers(code, decoded->Code)) {
        return Fail(FaultOf(TExchangeFault::WrongReply, decoded->Code));
    }
    std::optional<TReplyValue> value = DecodeReplyValue(*decoded);
    if (!value) {
        return Fail(FaultOf(TExchangeFault::ShortData, decoded->Code));
    }
    return std::move(*value);
}

TExchange<TReplyValue> TBootloaderClient::Simple(std::uint8_t code) {
    StartFrame(Request, code, 0);
    return Exchange(0);
}

template <typename T> TExchange<T> TBootloaderClient::Query(std::uint8_t code) {
    auto reply = Simple(code);
    if (!reply) {
        return Fail(reply.Error());
    }
    // A query takes only a reply of its own code, which decodes to its own type.
    return std::get<T>(std::move(*reply));
}

TExchange<void> TBootloaderClient::Range(std::uint8_t code, std::uint32_t pageCount) {
    const std::span<std::uint8_t> payload = StartFrame(Request, code, RangePayloadSize);
    payload[0] = 0x00;
    payload[1] = static_cast<std::uint8_t>((pageCount - 1) & 0xFFu);
    return Done(Exchange(RangePayloadSize));
}

TExchange<TReplyValue> TBootloaderClient::QueryVersion() {
    return Simple(CmdGetBootVersion);
}

TExchange<std::uint8_t> TBootloaderClient::QueryPageCount() {
    auto count = Query<TPageCount>(CmdGetPageCount);
    if (!count) {
        return Fail(count.Error());
    }
    return count->Count;
}

TExchange<std::optional<std::uint32_t>> TBootloaderClient::QueryPageSize() {
    auto size = Query<TPageSize>(CmdGetPageSize);
    if (!size) {
        return Fail(size.Error());
    }
    return size->Bytes;
}

TExchange<TChecksums> TBootloaderClient::QueryChecksums() {
    return Query<TChecksums>(CmdGetChecksums);
}

TExchange<std::string> TBootloaderClient::QueryFirmwareVersion() {
    auto version = Query<TFirmwareVersion>(CmdGetFirmwareVersion);
    if (!version) {
        return Fail(version.Error());
    }
    return std::move(version->Text);
}

TExchange<void> TBootloaderClient::BeginUpdate() {
    return Done(Simple(CmdBeginUpdate));
}

TExchange<void> TBootloaderClient::EndUpdate() {
    return Done(Simple(CmdEndUpdate));
}

TExchange<void> TBootloaderClient::PrepareRange(std::uint32_t pageCount) {
    return Range(CmdPrepareRange, pageCount);
}

TExchange<void> TBootloaderClient::FinishRange(std::uint32_t pageCount) {
    return Range(CmdFinishRange, pageCount);
}

TExchange<void> TBootloaderClient::WriteBlock(std::uint32_t address,
                                              std::span<const std::uint8_t> block) {
    const std::span<std::uint8_t> payload =
        StartFrame(Request, CmdWriteBlock, BlockAddressSize + BlockSize);
    WriteBe32(payload.data(), address);
    std::memcpy(payload.data() + BlockAddressSize, block.data(), BlockSize);
    return Done(Exchange(BlockAddressSize + BlockSize));
}

TExchange<void> TBootloaderClient::PowerOff() {
    return Done(Simple(CmdPowerOff));
}

} // namespace qor
