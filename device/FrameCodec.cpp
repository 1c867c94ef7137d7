#include "device/FrameCodec.h"

#include <algorithm>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/Protocol.h"

namespace qor {

std::span<std::uint8_t> StartFrame(std::span<std::uint8_t> buffer, std::uint8_t code,
                                   std::size_t payloadSize) {
    WriteBe16(buffer.data(), static_cast<std::uint16_t>(FrameHeaderSize + payloadSize));
    buffer[2] = code;
    return buffer.subspan(FrameHeaderSize, payloadSize);
}

std::span<const std::uint8_t> SealFrame(std::span<std::uint8_t> buffer, std::size_t payloadSize) {
    const std::size_t covered = FrameHeaderSize + payloadSize;
    const std::uint32_t crc = CalcCrc32(buffer.data(), covered);
    WriteBe16(buffer.data(), static_cast<std::uint16_t>(covered + CrcFieldSize));
    WriteBe32(buffer.data() + covered, crc);
    return buffer.first(covered + CrcFieldSize);
}

std::vector<std::uint8_t> EncodeFrame(std::uint8_t code, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame(MinFrameLength + payload.size());
    const std::span<std::uint8_t> room = StartFrame(frame, code, payload.size());
    std::copy(payload.begin(), payload.end(), room.begin());
    SealFrame(frame, payload.size());
    return frame;
}

TResult<TFrame, TFrameError> DecodeFrame(std::span<const std::uint8_t> received,
                                         std::size_t capacity) {
    if (received.empty()) {
        return Fail(TFrameError{TFrameFault::NoReply});
    }
    if (received.size() < LengthFieldSize) {
        return Fail(TFrameError{TFrameFault::Short});
    }
    const std::size_t length = ReadBe16(received.data());
    if (length < MinFrameLength || length > capacity) {
        return Fail(TFrameError{TFrameFault::BadLength});
    }
    if (received.size() < length) {
        return Fail(TFrameError{TFrameFault::Short});
    }
    // The CRC covers the frame as it was before its length field was raised by four.
    const std::size_t covered = length - CrcFieldSize;
    std::uint8_t header[LengthFieldSize];
    WriteBe16(header, static_cast<std::uint16_t>(covered));
    std::uint32_t crc = Crc32Update(0, header, LengthFieldSize);
    crc = Crc32Update(crc, received.data() + LengthFieldSize, covered - LengthFieldSize);
    if (crc != ReadBe32(received.data() + covered)) {
        return Fail(TFrameError{TFrameFault::BadCrc});
    }
    return TFrame{received[2], received.subspan(FrameHeaderSize, covered - FrameHeaderSize)};
}

TResult<TFrame, TFrameError> DecodeReply(std::span<const std::uint8_t> received) {
    auto frame = DecodeFrame(received, ReplyBufferSize);
    if (frame && frame->Code > LastGoodReplyCode) {
        return Fail(TFrameError{TFrameFault::Refused, frame->Code});
    }
    return frame;
}

std::string DescribeFrameError(const TFrameError& error) {
    switch (error.Fault) {
    case TFrameFault::NoReply:
        return "no reply";
    case TFrameFault::Short:
        return "the reply was cut short";
    case TFrameFault::BadLength:
        return "the reply announced an impossible length";
    case TFrameFault::BadCrc:
        return "the reply's CRC did not match";
    case TFrameFault::Refused:
        return "refused with code " + std::to_string(error.Code);
    }
    return "a bad reply";
}

} // namespace qor
