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
// acknowledgements whose data is ignored, anything above refuses the request. The device may
// answer any request with any good code: a reply is decoded by its own code, never by what
// was asked.
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

// The payload each request the updater sends carries, as the client lays it out and the
// virtual device checks it; nullopt for a code it never sends.
constexpr std::optional<std::size_t> RequestPayloadSize(std::uint8_t request) {
    switch (request) {
    case CmdGetBootVersion:
    case CmdGetPageCount:
    case CmdGetPageSize:
    case CmdGetChecksums:
    case CmdGetFirmwareVersion:
    case CmdBeginUpdate:
    case CmdEndUpdate:
    case CmdPowerOff:
        return 0;
    case CmdPrepareRange:
    case CmdFinishRange:
        return RangePayloadSize;
    case CmdWriteBlock:
        return BlockAddressSize + BlockSize;
    default:
        return std::nullopt;
    }
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
