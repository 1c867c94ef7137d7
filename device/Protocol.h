// The bootloader protocol's constants, named once: request codes, frame and buffer sizes,
// serial settings and the time-outs each caller puts in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "firmware/FirmwareImage.h"

namespace qor {

// Request codes (host to device). 7 and 12 are never sent.
inline constexpr std::uint8_t CmdGetBootVersion = 0;
inline constexpr std::uint8_t CmdGetPageCount = 1;
inline constexpr std::uint8_t CmdGetPageSize = 2;
inline constexpr std::uint8_t CmdGetChecksums = 3;
inline constexpr std::uint8_t CmdGetFirmwareVersion = 4;
inline constexpr std::uint8_t CmdBeginUpdate = 5;
inline constexpr std::uint8_t CmdEndUpdate = 6;
inline constexpr std::uint8_t CmdPrepareRange = 8;
inline constexpr std::uint8_t CmdWriteBlock = 9;
inline constexpr std::uint8_t CmdFinishRange = 10;
inline constexpr std::uint8_t CmdPowerOff = 11;

// Reply codes: 0 to 4 carry the value of the query of the same code, 5 to 12 are
// acknowledgements whose data is ignored, anything above refuses the request.
inline constexpr std::uint8_t FirstAcknowledgementCode = 5;
inline constexpr std::uint8_t LastGoodReplyCode = 12;

// Frame layout: 16-bit big-endian length, code, payload, 32-bit big-endian CRC.
inline constexpr std::size_t LengthFieldSize = 2;
inline constexpr std::size_t FrameHeaderSize = 3; // length field and code
inline constexpr std::size_t CrcFieldSize = 4;
inline constexpr std::size_t MinFrameLength = FrameHeaderSize + CrcFieldSize; // code only

// The exchange's fixed buffers: a request of up to 596 bytes before its CRC, a reply of up
// to 256 bytes.
inline constexpr std::size_t SendBufferSize = 600;
inline constexpr std::size_t ReplyBufferSize = 256;

// One write request carries a 4-byte address and one block of image bytes (BlockSize).
inline constexpr std::size_t BlockAddressSize = 4;
inline constexpr std::size_t RangePayloadSize = 2;

// Page-size codes of the page-size reply, and the sizes they stand for.
inline constexpr std::uint8_t PageSizeCode256 = 1;
inline constexpr std::uint8_t PageSizeCode512 = 2;
inline constexpr std::uint8_t PageSizeCode1024 = 4;
constexpr std::uint32_t PageSizeOfCode(std::uint8_t code) {
    switch (code) {
    case PageSizeCode256:
        return 256;
    case PageSizeCode512:
        return 512;
    case PageSizeCode1024:
        return 1024;
    default:
        return 0; // not a page size: the reply leaves the known size as it was
    }
}

// Data bytes after the code that each reply code carries; a good reply with fewer fails its
// exchange rather than being decoded from bytes that never arrived.
inline constexpr std::size_t VersionReplySize = 2;
inline constexpr std::size_t PageCountReplySize = 1;
inline constexpr std::size_t PageSizeReplySize = 1;
inline constexpr std::size_t ChecksumsReplySize = 8;
inline constexpr std::size_t FirmwareVersionLength = 4; // four characters
constexpr std::size_t ReplyDataSize(std::uint8_t replyCode) {
    switch (replyCode) {
    case CmdGetBootVersion:
        return VersionReplySize;
    case CmdGetPageCount:
        return PageCountReplySize;
    case CmdGetPageSize:
        return PageSizeReplySize;
    case CmdGetChecksums:
        return ChecksumsReplySize;
    case CmdGetFirmwareVersion:
        return FirmwareVersionLength;
    default:
        return 0;
    }
}

// Which good replies answer a request. The device picks its acknowledgement's code freely from
// 5 to 12 and may answer the version request with any good code, which is then decoded by that
// code. A value a query asks for comes only from a reply of the query's own code, and a data
// reply never acknowledges a request that changes the device: the version request takes 0 to
// 12, decoded by their own code; the other queries (1 to 4) their own code; every request that
// changes the device (5, 6, 8 to 11) any acknowledgement, 5 to 12.
enum class TReplyMatch {
    AnyGood,         // any code from 0 to 12
    OwnCode,         // the request's own code
    Acknowledgement, // any code from 5 to 12
};

struct TRequestKind {
    std::size_t PayloadSize;
    TReplyMatch Match;
};

// The request codes the updater sends, with their payload and the replies they take; nullopt
// for a code it never sends.
constexpr std::optional<TRequestKind> RequestKindOf(std::uint8_t request) {
    switch (request) {
    case CmdGetBootVersion:
        return TRequestKind{0, TReplyMatch::AnyGood};
    case CmdGetPageCount:
    case CmdGetPageSize:
    case CmdGetChecksums:
    case CmdGetFirmwareVersion:
        return TRequestKind{0, TReplyMatch::OwnCode};
    case CmdBeginUpdate:
    case CmdEndUpdate:
    case CmdPowerOff:
        return TRequestKind{0, TReplyMatch::Acknowledgement};
    case CmdPrepareRange:
    case CmdFinishRange:
        return TRequestKind{RangePayloadSize, TReplyMatch::Acknowledgement};
    case CmdWriteBlock:
        return TRequestKind{BlockAddressSize + BlockSize, TReplyMatch::Acknowledgement};
    default:
        return std::nullopt;
    }
}

// Whether a good reply (code 0 to 12) answers the request.
constexpr bool ReplyAnswers(std::uint8_t request, std::uint8_t replyCode) {
    const std::optional<TRequestKind> kind = RequestKindOf(request);
    if (!kind || replyCode > LastGoodReplyCode) {
        return false;
    }
    switch (kind->Match) {
    case TReplyMatch::AnyGood:
        return true;
    case TReplyMatch::OwnCode:
        return replyCode == request;
    case TReplyMatch::Acknowledgement:
        return replyCode >= FirstAcknowledgementCode;
    }
    return false;
}

// The USB bridge's description that identifies the device.
inline constexpr char DeviceDescription[] = "QOR 7316";

inline constexpr std::uint32_t DeviceBaudRate = 500000;

// Time-outs in milliseconds.
inline constexpr std::uint32_t OpenReadTimeoutMs = 2000;
inline constexpr std::uint32_t WriteTimeoutMs = 500;
inline constexpr std::uint32_t QueryFirstReadTimeoutMs = 100;
inline constexpr std::uint32_t QueryReadTimeoutMs = 2500;
inline constexpr std::uint32_t UpdateReadTimeoutMs = 8000;

} // namespace qor
