// A good reply decoded by its own code: the device value it reports, or an acknowledgement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "device/DeviceInfo.h"
#include "device/FrameCodec.h"

namespace qor {

struct TPageCount {
    std::uint8_t Count = 0;
};

struct TPageSize {
    std::optional<std::uint32_t> Bytes; // nullopt for a code that names no size
};

struct TFirmwareVersion {
    std::string Text; // four bytes as the device sent them (Windows-1252)
};

struct TAcknowledgement {
    std::uint8_t Code = 0;
};

using TReplyValue = std::variant<TBootVersion, TPageCount, TPageSize, TChecksums, TFirmwareVersion,
                                 TAcknowledgement>;

// The value of a good reply (code 0 to 12); nullopt when the frame is too short for its
// code's data.
std::optional<TReplyValue> DecodeReplyValue(const TFrame& reply);

// What a reply reports, stored into the device's values by its code. A page-size code that
// names no size and an acknowledgement leave them as they are.
void StoreReplyValue(TDeviceInfo& info, const TReplyValue& value);

} // namespace qor
