#include <gtest/gtest.h>

#include <numeric>
#include <string_view>

#include "ScriptedPort.h"
#include "device/Bootloader.h"
#include "base/Crc32.h"
#include "device/Protocol.h"

using namespace qor;
using namespace qor::test;

namespace {

std::uint32_t Crc(std::string_view text) {
    return CalcCrc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// What the host puts on the wire for one request.
class RequestFrames : public ::testing::Test {
protected:
    TScriptedPort Port;
    TDeviceLink Link{Port};
    TBootloader Boot{Link};
    TRequestBuffer Request{};

    void SetUp() override { Link.FtHandle = 0x10; }

    TBytes Sent(const TRequestBuffer& request) {
        Boot.TransferFrame(request);
        return Port.Written.back();
    }
};

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

TEST_F(RequestFrames, RequestsWithoutPayloadAreSevenBytes) {
    const struct {
        std::uint8_t Code;
        TBytes Frame;
    } cases[] = {
        {CmdGetBootVersion, {0x00, 0x07, 0x00, 0x72, 0xEB, 0x5F, 0xD3}},
        {CmdGetPageCount, {0x00, 0x07, 0x01, 0x76, 0x2A, 0x42, 0x64}},
        {CmdGetPageSize, {0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBD}},
        {CmdGetChecksums, {0x00, 0x07, 0x03, 0x7F, 0xA8, 0x79, 0x0A}},
        {CmdGetFirmwareVersion, {0x00, 0x07, 0x04, 0x61, 0xEF, 0x29, 0x0F}},
        {CmdBeginUpdate, {0x00, 0x07, 0x05, 0x65, 0x2E, 0x34, 0xB8}},
        {CmdEndUpdate, {0x00, 0x07, 0x06, 0x68, 0x6D, 0x12, 0x61}},
        {CmdPowerOff, {0x00, 0x07, 0x0B, 0x59, 0xA0, 0x94, 0xB2}},
    };
    for (const auto& c : cases) {
        BuildSimpleRequest(Request, c.Code);
        EXPECT_EQ(Sent(Request), c.Frame) << "code " << +c.Code;
    }
}

TEST_F(RequestFrames, RangeRequestsCarryTheLastPageIndex) {
    BuildRangeRequest(Request, CmdPrepareRange, 124);
    EXPECT_EQ(Sent(Request), (TBytes{0x00, 0x09, 0x08, 0x00, 0x7B, 0x65, 0xA2, 0x64, 0x0C}));
    BuildRangeRequest(Request, CmdFinishRange, 126);
    EXPECT_EQ(Sent(Request), (TBytes{0x00, 0x09, 0x0A, 0x00, 0x7D, 0x7C, 0x95, 0x70, 0xB0}));
    // Only the low byte of PageCount - 1 travels.
    BuildRangeRequest(Request, CmdPrepareRange, 257);
    EXPECT_EQ(Sent(Request)[4], 0x00);
}

TEST_F(RequestFrames, WriteBlockCarriesAddressDataAndCrcOverTheShortLength) {
    std::array<std::uint8_t, BlockSize> data{};
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    BuildWriteBlockHeader(Request);
    SetWriteBlock(Request, 512, data.data());

    const TBytes frame = Sent(Request);
    ASSERT_EQ(frame.size(), 523u);
    EXPECT_EQ(TBytes(frame.begin(), frame.begin() + 7),
              (TBytes{0x02, 0x0B, 0x09, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), frame.begin() + 7));
    TBytes covered(frame.begin(), frame.end() - 4);
    covered[0] = 0x02;
    covered[1] = 0x07;
    EXPECT_EQ(ReadBe32(frame.data() + 519), CalcCrc32(covered.data(), covered.size()));
}

TEST_F(RequestFrames, TheRequestBufferIsLeftAsItWasAndReusedBlockAfterBlock) {
    std::array<std::uint8_t, BlockSize> first{};
    std::array<std::uint8_t, BlockSize> second{};
    first.fill(0x11);
    second.fill(0x22);
    BuildWriteBlockHeader(Request);
    SetWriteBlock(Request, 0, first.data());
    const TRequestBuffer before = Request;
    const TBytes frame0 = Sent(Request);
    EXPECT_EQ(Request, before);
    EXPECT_EQ(ReadBe16(Request.data()), 519u);

    SetWriteBlock(Request, 0x0001FE00, second.data());
    const TBytes frame1 = Sent(Request);
    EXPECT_EQ(TBytes(frame1.begin(), frame1.begin() + 7),
              (TBytes{0x02, 0x0B, 0x09, 0x00, 0x01, 0xFE, 0x00}));
    EXPECT_EQ(frame1[7], 0x22);
    EXPECT_NE(frame0, frame1);
}

TEST_F(RequestFrames, EachExchangePurgesBothDirectionsBeforeItWrites) {
    Port.Line = {0xAA, 0xBB}; // residue of an earlier exchange
    Port.Replies.push_back(MakeFrame(0, {1, 3}));
    EXPECT_TRUE(Boot.SendSimpleRequest(CmdGetBootVersion));
    EXPECT_EQ(Boot.Values.BootVersionMinor, 3u);
}

TEST_F(RequestFrames, NoHandleFailsWithoutTouchingThePort) {
    Link.FtHandle = 0;
    BuildSimpleRequest(Request, CmdGetBootVersion);
    EXPECT_FALSE(Boot.TransferFrame(Request));
    EXPECT_EQ(Port.Calls, 0);
}

TEST_F(RequestFrames, ARequestLengthBeyondItsBufferIsNotSent) {
    for (std::uint16_t length : {0, 2, 597, 0xFFFF}) {
        WriteBe16(Request.data(), length);
        EXPECT_FALSE(Boot.TransferFrame(Request)) << length;
    }
    EXPECT_TRUE(Port.Written.empty());
    WriteBe16(Request.data(), static_cast<std::uint16_t>(RequestCapacity));
    Boot.TransferFrame(Request);
    ASSERT_EQ(Port.Written.size(), 1u);
    EXPECT_EQ(Port.Written[0].size(), SendBufferSize);
}
