// The bootloader protocol's constants, named once: request codes, frame and buffer sizes,
// serial settings and the time-outs each caller puts in force.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Reply codes above this one mark a bad reply: the bootloader refused the request.
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

// One write request carries a 4-byte address and one block of image bytes.
inline constexpr std::size_t BlockSize = 512;
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

// Data bytes after the code that each query's reply carries.
inline constexpr std::size_t VersionReplySize = 2;
inline constexpr std::size_t PageCountReplySize = 1;
inline constexpr std::size_t PageSizeReplySize = 1;
inline constexpr std::size_t ChecksumsReplySize = 8;

// The firmware version reply carries four characters.
inline constexpr std::size_t FirmwareVersionLength = 4;

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
