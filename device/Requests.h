// Request buffers as the callers prepare them: length field (holding the length before the
// CRC), code and payload. The exchange adds the CRC on its own copy, so one buffer serves
// request after request without allocation.
#pragma once

#include <array>
#include <cstdint>

#include "device/Protocol.h"

namespace qor {

using TRequestBuffer = std::array<std::uint8_t, RequestCapacity>;

// A request with no payload (length 3).
void BuildSimpleRequest(TRequestBuffer& request, std::uint8_t code);

// A range request (length 5): payload 0x00, then the low byte of pageCount - 1.
void BuildRangeRequest(TRequestBuffer& request, std::uint8_t code, std::uint32_t pageCount);

// The fixed part of a write request (length 519, CmdWriteBlock); SetWriteBlock fills in the
// rest for each block.
void BuildWriteBlockHeader(TRequestBuffer& request);

// Puts the block's byte address (big-endian) and its 512 data bytes into a write request.
void SetWriteBlock(TRequestBuffer& request, std::uint32_t address, const std::uint8_t* data512);

} // namespace qor
