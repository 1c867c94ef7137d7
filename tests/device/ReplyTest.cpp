#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "device/Bootloader.h"
#include "device/Protocol.h"

using namespace qor;
using namespace qor::test;

namespace {

// One exchange against a scripted reply.
class Replies : public ::testing::Test {
protected:
    TScriptedPort Port;
    TDeviceLink Link{Port};
    TBootloader Boot{Link};

    void SetUp() override {
        Link.FtHandle = 0x10;
        Boot.Values.BootVersionMajor = 9;
        Boot.Values.BootVersionMinor = 9;
        Boot.Values.PageCount = 99;
        Boot.Values.PageSize = 512;
        Boot.Values.DeviceChecksum1 = 0x11111111;
        Boot.Values.DeviceChecksum2 = 0x22222222;
        Boot.Values.DeviceFWVersion = "OLD!";
    }

    bool Exchange(const TBytes& reply, std::uint8_t code = CmdGetBootVersion) {
        Port.Replies.push_back(reply);
        return Boot.SendSimpleRequest(code);
    }

    void ExpectValuesUnchanged() {
        EXPECT_EQ(Boot.Values.BootVersionMajor, 9u);
        EXPECT_EQ(Boot.Values.BootVersionMinor, 9u);
        EXPECT_EQ(Boot.Values.PageCount, 99u);
        EXPECT_EQ(Boot.Values.PageSize, 512u);
        EXPECT_EQ(Boot.Values.DeviceChecksum1, 0x11111111u);
        EXPECT_EQ(Boot.Values.DeviceChecksum2, 0x22222222u);
        EXPECT_EQ(Boot.Values.DeviceFWVersion, "OLD!");
    }
};

} // namespace

TEST_F(Replies, TheVersionReplyOfTheExampleIsGood) {
    EXPECT_TRUE(Exchange({0x00, 0x09, 0x00, 0x01, 0x03, 0x7F, 0xC2, 0x31, 0xB7}));
    EXPECT_EQ(Boot.Values.BootVersionMajor, 1u);
    EXPECT_EQ(Boot.Values.BootVersionMinor, 3u);
    EXPECT_EQ(Port.ReadSizes, (std::vector<std::uint32_t>{2, 7}));
}

TEST_F(Replies, EachCodeStoresItsOwnFields) {
    EXPECT_TRUE(Exchange(MakeFrame(1, {126})));
    EXPECT_EQ(Boot.Values.PageCount, 126u);
    EXPECT_TRUE(Exchange(MakeFrame(2, {PageSizeCode1024})));
    EXPECT_EQ(Boot.Values.PageSize, 1024u);
    EXPECT_TRUE(Exchange(MakeFrame(2, {PageSizeCode256})));
    EXPECT_EQ(Boot.Values.PageSize, 256u);
    EXPECT_TRUE(Exchange(MakeFrame(3, {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04})));
    EXPECT_EQ(Boot.Values.DeviceChecksum1, 0xDEADBEEFu);
    EXPECT_EQ(Boot.Values.DeviceChecksum2, 0x01020304u);
    EXPECT_TRUE(Exchange(MakeFrame(4, {'1', '.', 0xE9, 'b'})));
    EXPECT_EQ(Boot.Values.DeviceFWVersion, "1.\xE9"
                                           "b");
}

TEST_F(Replies, AnUnknownPageSizeCodeIsGoodButChangesNothing) {
    EXPECT_TRUE(Exchange(MakeFrame(2, {3})));
    EXPECT_TRUE(Exchange(MakeFrame(2, {0})));
    ExpectValuesUnchanged();
}

TEST_F(Replies, AcknowledgementsAreGoodAndChangeNothing) {
    for (std::uint8_t code = 5; code <= LastGoodReplyCode; ++code) {
        EXPECT_TRUE(Exchange(MakeFrame(code))) << +code;
        // Extra bytes after an acknowledgement are tolerated.
        EXPECT_TRUE(Exchange(MakeFrame(code, {1, 2, 3}))) << +code;
    }
    ExpectValuesUnchanged();
}

TEST_F(Replies, CodesAboveTwelveFailEvenWithAGoodCrc) {
    for (int code : {13, 14, 0x80, 0xFF}) {
        EXPECT_FALSE(Exchange(MakeFrame(static_cast<std::uint8_t>(code), {1, 2})));
    }
    ExpectValuesUnchanged();
}

TEST_F(Replies, AVersionRequestIsDecodedByTheReplysOwnCode) {
    EXPECT_TRUE(Exchange(MakeFrame(3, {0, 0, 0, 1, 0, 0, 0, 2}), CmdGetBootVersion));
    EXPECT_EQ(Boot.Values.DeviceChecksum1, 1u);
    EXPECT_EQ(Boot.Values.DeviceChecksum2, 2u);
    EXPECT_EQ(Boot.Values.BootVersionMajor, 9u);
    EXPECT_TRUE(Exchange(MakeFrame(1, {124}), CmdGetBootVersion));
    EXPECT_EQ(Boot.Values.PageCount, 124u);
}

TEST_F(Replies, ACrcOverTheOnWireLengthIsRejected) {
    TBytes frame = MakeFrame(0, {1, 3});
    const std::uint32_t wrong = CalcCrc32(frame.data(), frame.size() - 4);
    WriteBe32(frame.data() + frame.size() - 4, wrong);
    EXPECT_FALSE(Exchange(frame));
    ExpectValuesUnchanged();
}

TEST_F(Replies, AnyFlippedBitFailsTheCheck) {
    const TBytes good = MakeFrame(3, {1, 2, 3, 4, 5, 6, 7, 8});
    for (std::size_t byte = 2; byte < good.size(); ++byte) {
        TBytes bad = good;
        bad[byte] ^= 0x10;
        EXPECT_FALSE(Exchange(bad)) << byte;
    }
    ExpectValuesUnchanged();
}

TEST_F(Replies, LengthsThatCannotBeAFrameFailBeforeTheSecondRead) {
    for (std::uint16_t length : {0, 1, 2, 3, 6, 257, 300, 0xFFFF}) {
        Port.ReadSizes.clear();
        TBytes frame(300, 0x00);
        WriteBe16(frame.data(), length);
        EXPECT_FALSE(Exchange(frame)) << length;
        EXPECT_EQ(Port.ReadSizes, (std::vector<std::uint32_t>{2})) << length;
    }
    ExpectValuesUnchanged();
}

TEST_F(Replies, AFrameFillingTheWholeReplyBufferIsGood) {
    const TBytes frame = MakeFrame(0, TBytes(ReplyBufferSize - 7, 0x05));
    ASSERT_EQ(frame.size(), ReplyBufferSize);
    EXPECT_TRUE(Exchange(frame));
    EXPECT_EQ(Boot.Values.BootVersionMajor, 5u);
    EXPECT_EQ(Port.ReadSizes.back(), ReplyBufferSize - 2);
}

TEST_F(Replies, MissingOrShortDataFails) {
    EXPECT_FALSE(Exchange({})) << "silence";
    EXPECT_FALSE(Exchange({0x00})) << "one byte of length";
    EXPECT_FALSE(Exchange({0x00, 0x09})) << "nothing after the length";
    TBytes truncated = MakeFrame(0, {1, 3});
    truncated.pop_back();
    EXPECT_FALSE(Exchange(truncated)) << "one byte short";
    ExpectValuesUnchanged();
}

TEST_F(Replies, AFrameTooShortForItsCodesDataIsRejected) {
    EXPECT_FALSE(Exchange(MakeFrame(3))) << "checksums without data";
    EXPECT_FALSE(Exchange(MakeFrame(3, {1, 2, 3, 4, 5, 6, 7}))) << "one byte short";
    EXPECT_FALSE(Exchange(MakeFrame(0, {1}))) << "version with one byte";
    EXPECT_FALSE(Exchange(MakeFrame(1))) << "page count without data";
    EXPECT_FALSE(Exchange(MakeFrame(2))) << "page size without data";
    EXPECT_FALSE(Exchange(MakeFrame(4, {'1', '.', '3'}))) << "three characters";
    ExpectValuesUnchanged();
}

TEST(CheckReply, RewritesTheLengthFieldToTheCoveredLength) {
    TBytes frame = MakeFrame(5);
    ASSERT_TRUE(CheckReply(frame.data(), frame.size()));
    EXPECT_EQ(ReadBe16(frame.data()), 3u);
}

TEST(CheckReply, NeverLooksBeyondItsCapacity) {
    TBytes frame = MakeFrame(0, {1, 3});
    EXPECT_FALSE(CheckReply(frame.data(), frame.size() - 1));
    EXPECT_FALSE(CheckReply(frame.data(), 1));
    EXPECT_TRUE(CheckReply(frame.data(), frame.size()));
}
