// Hostile replies for the frame codec. Each input is decoded twice: from the exchange's
// 256-byte reply buffer, and from a heap buffer of exactly the input's size, where the address
// sanitizer sees any read past its end.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ByteOrder.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"

using namespace qor;

namespace {

void Check(std::span<const std::uint8_t> received) {
    const auto frame = DecodeReply(received);
    if (!frame) {
        return;
    }
    const std::size_t length = ReadBe16(received.data());
    if (length < MinFrameLength || length > ReplyBufferSize || length > received.size()) {
        __builtin_trap(); // accepted a frame that does not fit its buffer
    }
    if (frame->Code > LastGoodReplyCode) {
        __builtin_trap(); // accepted a refusal
    }
    if (frame->Payload.size() != length - MinFrameLength ||
        frame->Payload.data() != received.data() + FrameHeaderSize) {
        __builtin_trap(); // the payload is not the frame's own
    }
    // What the codec accepts, it must encode to the same bytes.
    const std::vector<std::uint8_t> again = EncodeFrame(frame->Code, frame->Payload);
    if (!std::equal(again.begin(), again.end(), received.begin())) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, ReplyBufferSize> buffer{};
    const std::size_t kept = std::min(size, buffer.size());
    std::copy_n(data, kept, buffer.begin());
    Check(std::span(buffer.data(), kept));

    const std::vector<std::uint8_t> exact(data, data + size);
    Check(exact);
    return 0;
}
