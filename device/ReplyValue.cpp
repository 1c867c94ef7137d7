#include "device/ReplyValue.h"

#include "base/ByteOrder.h"
#include "device/Protocol.h"

namespace qor {
namespace {

template <class... F> struct TOverloaded : F... { using F::operator()...; };
template <class... F> TOverloaded(F...) -> TOverloaded<F...>;

} // namespace

std::optional<TReplyValue> DecodeReplyValue(const TFrame& reply) {
    const std::span<const std::uint8_t> data = reply.Payload;
    if (data.size() < ReplyDataSize(reply.Code)) {
        return std::nullopt;
    }
    switch (reply.Code) {
    case CmdGetBootVersion:
        return TBootVersion{data[0], data[1]};
    case CmdGetPageCount:
        return TPageCount{data[0]};
    case CmdGetPageSize: {
        const std::uint32_t bytes = PageSizeOfCode(data[0]);
        return TPageSize{bytes != 0 ? std::optional<std::uint32_t>(bytes) : std::nullopt};
    }
    case CmdGetChecksums:
        return TChecksums{ReadBe32(data.data()), ReadBe32(data.data() + 4)};
    case CmdGetFirmwareVersion:
        return TFirmwareVersion{
            std::string(reinterpret_cast<const char*>(data.data()), FirmwareVersionLength)};
    default:
        return TAcknowledgement{reply.Code};
    }
}

void StoreReplyValue(TDeviceInfo& info, const TReplyValue& value) {
    std::visit(TOverloaded{
                   [&](const TBootVersion& v) { info.BootVersion = v; },
                   [&](const TPageCount& v) { info.PageCount = v.Count; },
                   [&](const TPageSize& v) {
                       if (v.Bytes) {
                           info.PageSize = v.Bytes;
                       }
                   },
                   [&](const TChecksums& v) { info.DeviceChecksums = v; },
                   [&](const TFirmwareVersion& v) { info.DeviceFWVersion = v.Text; },
                   [](const TAcknowledgement&) {},
               },
               value);
}

} // namespace qor
