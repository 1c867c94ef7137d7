// Hostile replies for the reply check and decoder. Each input is checked twice: in the
// exchange's 256-byte reply buffer, and in a heap buffer of exactly the input's size, where
// the address sanitizer sees any read past its end.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ByteOrder.h"
#include "device/Protocol.h"
#include "device/Reply.h"

using namespace qor;

namespace {

void Check(std::uint8_t* reply, std::size_t capacity) {
    const std::size_t length = capacity >= 2 ? ReadBe16(reply) : 0;
    const bool good = CheckReply(reply, capacity);
    if (good && (length < MinFrameLength || length > capacity)) {
        __builtin_trap(); // accepted a frame that does not fit its buffer
    }
    TDeviceValues values;
    if (good && DecodeReply(reply, length, values)) {
        if (reply[2] > LastGoodReplyCode) {
            __builtin_trap(); // accepted a bad reply code
        }
        if (reply[2] == CmdGetFirmwareVersion &&
            values.DeviceFWVersion.size() != FirmwareVersionLength) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, ReplyBufferSize> buffer{};
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    Check(buffer.data(), buffer.size());

    std::vector<std::uint8_t> exact(data, data + size);
    Check(exact.data(), exact.size());

    // The decoder alone, on whatever length the input has.
    TDeviceValues values;
    DecodeReply(exact.data(), exact.size(), values);
    return 0;
}
