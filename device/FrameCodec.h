// The bootloader's frame, in both directions: a 16-bit big-endian length counting the whole
// frame, a code, the payload and a big-endian CRC-32 computed while the length field holds the
// length less the four CRC bytes. One codec for the host and for the virtual device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qor {

enum class TFrameFault {
    NoReply,   // nothing arrived
    Short,     // fewer bytes than the length field announces
    BadLength, // a length below the smallest frame or beyond the buffer
    BadCrc,
    Refused, // a well-formed reply whose code says the request was refused
};

struct TFrameError {
    TFrameFault Fault;
    std::uint8_t Code = 0; // the reply code of a refusal
};

struct TFrame {
    std::uint8_t Code = 0;
    std::span<const std::uint8_t> Payload;
};

// Lays out the header of a frame with `payloadSize` payload bytes in `buffer` and returns
// the payload's place in it, to be filled before SealFrame. So a block goes into its frame
// with one copy.
std::span<std::uint8_t> StartFrame(std::span<std::uint8_t> buffer, std::uint8_t code,
                                   std::size_t payloadSize);
// Adds the CRC and returns the whole frame.
std::span<const std::uint8_t> SealFrame(std::span<std::uint8_t> buffer, std::size_t payloadSize);

// A whole frame as a value, for those who do not mind an allocation.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t code,
                                      std::span<const std::uint8_t> payload = {});

// Checks what arrived as one frame of at most `capacity` bytes: its length field, that all of
// it is there, and its CRC.
TResult<TFrame, TFrameError> DecodeFrame(std::span<const std::uint8_t> received,
                                         std::size_t capacity);
// The same for a reply to the host, which in addition must not carry a refusal code.
TResult<TFrame, TFrameError> DecodeReply(std::span<const std::uint8_t> received);

std::string DescribeFrameError(const TFrameError& error);

} // namespace qor
