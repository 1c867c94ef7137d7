#include "device/Requests.h"

#include <cstring>

#include "base/ByteOrder.h"

namespace qor {
namespace {

constexpr std::size_t WriteBlockRequestLength = FrameHeaderSize + BlockAddressSize + BlockSize;
static_assert(WriteBlockRequestLength <= RequestCapacity);

void SetHeader(TRequestBuffer& request, std::size_t length, std::uint8_t code) {
    WriteBe16(request.data(), static_cast<std::uint16_t>(length));
    request[2] = code;
}

} // namespace

void BuildSimpleRequest(TRequestBuffer& request, std::uint8_t code) {
    SetHeader(request, FrameHeaderSize, code);
}

void BuildRangeRequest(TRequestBuffer& request, std::uint8_t code, std::uint32_t pageCount) {
    SetHeader(request, FrameHeaderSize + RangePayloadSize, code);
    request[FrameHeaderSize] = 0x00;
    request[FrameHeaderSize + 1] = static_cast<std::uint8_t>((pageCount - 1) & 0xFFu);
}

void BuildWriteBlockHeader(TRequestBuffer& request) {
    SetHeader(request, WriteBlockRequestLength, CmdWriteBlock);
}

void SetWriteBlock(TRequestBuffer& request, std::uint32_t address, const std::uint8_t* data512) {
    WriteBe32(request.data() + FrameHeaderSize, address);
    std::memcpy(request.data() + FrameHeaderSize + BlockAddressSize, data512, BlockSize);
}

} // namespace qor
