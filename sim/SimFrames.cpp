#include "sim/SimFrames.h"

#include <algorithm>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/Protocol.h"
#include "firmware/FirmwareImage.h"

namespace qor {

TByteVector BuildFrame(std::uint8_t code, const std::uint8_t* payload, std::size_t size) {
    TByteVector frame(FrameHeaderSize + size + CrcFieldSize);
    const std::size_t covered = FrameHeaderSize + size;
    WriteBe16(frame.data(), static_cast<std::uint16_t>(covered));
    frame[2] = code;
    std::copy_n(payload, size, frame.begin() + FrameHeaderSize);
    const std::uint32_t crc = CalcCrc32(frame.data(), covered);
    WriteBe16(frame.data(), static_cast<std::uint16_t>(frame.size()));
    WriteBe32(frame.data() + covered, crc);
    return frame;
}

TByteVector MakeFirmwareImage(std::size_t size, std::string_view version, std::uint32_t seed) {
    TByteVector image(std::max(size, ImageMinimumSize));
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    const std::size_t at = image.size() - ImageVersionFromEnd;
    for (std::size_t i = 0; i < ImageVersionSize; ++i) {
        image[at + i] = i < version.size() ? static_cast<std::uint8_t>(version[i]) : ' ';
    }
    const std::size_t covered = image.size() - ImageTrailerSize;
    WriteLe32(image.data() + covered, CalcCrc32(image.data(), covered));
    return image;
}

} // namespace qor
