#include <gtest/gtest.h>

#include <string_view>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"

using namespace qor;

namespace {

using TBytes = std::vector<std::uint8_t>;

std::uint32_t Crc(std::string_view text) {
    return CalcCrc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TFrameFault FaultOf(const TBytes& received) {
    const auto frame = DecodeReply(received);
    EXPECT_FALSE(frame.Ok());
    return frame ? TFrameFault::NoReply : frame.Error().Fault;
}

} // namespace

TEST(Crc32, MatchesTheCheckValues) {
    EXPECT_EQ(Crc("123456789"), 0x89A1897Fu);
    EXPECT_EQ(Crc("abc"), 0x2C17398Cu);
    EXPECT_EQ(CalcCrc32(nullptr, 0), 0u);
}

TEST(Crc32, IsNotReflectedAndHasNoFinalXor) {
    const std::uint8_t one = 0x01;
    EXPECT_EQ(CalcCrc32(&one, 1), 0x04C11DB7u); // the polynomial itself: table entry 1
    const std::uint8_t zeros[4] = {};
    EXPECT_EQ(CalcCrc32(zeros, sizeof zeros), 0u); // initial value 0 and no final XOR
}

TEST(Crc32, CarriesOnOverPieces) {
    const std::string_view text = "123456789";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    EXPECT_EQ(Crc32Update(Crc32Update(0, bytes, 4), bytes + 4, 5), 0x89A1897Fu);

    // Long runs are taken eight bytes at a time: split anywhere, they give the same value,
    // worked out bit by bit from the definition above (1000 bytes of (7i + 3) mod 251).
    TBytes pattern(1000);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<std::uint8_t>((7 * i + 3) % 251);
    }
    EXPECT_EQ(CalcCrc32(pattern.data(), pattern.size()), 0xEC33AC85u);
    for (std::size_t split = 1; split <= 17; ++split) {
        EXPECT_EQ(Crc32Update(Crc32Update(0, pattern.data(), split), pattern.data() + split,
                              pattern.size() - split),
                  0xEC33AC85u)
            << "split after " << split;
    }
}

TEST(FrameCodec, EncodesWithTheCrcOverTheShortLength) {
    EXPECT_EQ(EncodeFrame(CmdGetBootVersion), (TBytes{0x00, 0x07, 0x00, 0x72, 0xEB, 0x5F, 0xD3}));
    const TBytes frame = EncodeFrame(0, TBytes{1, 3});
    EXPECT_EQ(frame, (TBytes{0x00, 0x09, 0x00, 0x01, 0x03, 0x7F, 0xC2, 0x31, 0xB7}));
}

TEST(FrameCodec, DecodesWhatItEncodes) {
    const TBytes frame = EncodeFrame(4, TBytes{'1', '.', '3', 'a'});
    const auto decoded = DecodeFrame(frame, ReplyBufferSize);
    ASSERT_TRUE(decoded.Ok());
    EXPECT_EQ(decoded->Code, 4);
    EXPECT_EQ(TBytes(decoded->Payload.begin(), decoded->Payload.end()),
              (TBytes{'1', '.', '3', 'a'}));
}

TEST(FrameCodec, NamesWhatIsWrongWithAReply) {
    EXPECT_EQ(FaultOf({}), TFrameFault::NoReply);
    EXPECT_EQ(FaultOf({0x00}), TFrameFault::Short);
    for (std::uint16_t length : {0, 1, 2, 6, 257, 0xFFFF}) {
        TBytes frame(2);
        WriteBe16(frame.data(), length);
        EXPECT_EQ(FaultOf(frame), TFrameFault::BadLength) << length;
    }
    TBytes truncated = EncodeFrame(0, TBytes{1, 3});
    truncated.pop_back();
    EXPECT_EQ(FaultOf(truncated), TFrameFault::Short);

    // A CRC computed over the on-wire length is not the protocol's.
    TBytes wrong = EncodeFrame(0, TBytes{1, 3});
    WriteBe32(wrong.data() + wrong.size() - 4, CalcCrc32(wrong.data(), wrong.size() - 4));
    EXPECT_EQ(FaultOf(wrong), TFrameFault::BadCrc);

    const auto refused = DecodeReply(EncodeFrame(13, TBytes{1, 2}));
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Fault, TFrameFault::Refused);
    EXPECT_EQ(refused.Error().Code, 13);
    EXPECT_EQ(DescribeFrameError(refused.Error()), "refused with code 13");
}

TEST(FrameCodec, AnyFlippedBitFailsTheCheck) {
    const TBytes good = EncodeFrame(3, TBytes{1, 2, 3, 4, 5, 6, 7, 8});
    for (std::size_t byte = 2; byte < good.size(); ++byte) {
        TBytes bad = good;
        bad[byte] ^= 0x10;
        EXPECT_FALSE(DecodeReply(bad).Ok()) << byte;
    }
}

TEST(FrameCodec, NeverLooksBeyondItsCapacity) {
    const TBytes frame = EncodeFrame(0, TBytes{1, 3});
    EXPECT_FALSE(DecodeFrame(frame, frame.size() - 1).Ok());
    EXPECT_TRUE(DecodeFrame(frame, frame.size()).Ok());
}
