#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/BootloaderClient.h"
#include "device/Protocol.h"
#include "qortest/ScriptedPort.h"

using namespace qor;
using namespace qor::test;

namespace {

// The verbs over a scripted device that is open.
class Verbs : public ::testing::Test {
protected:
    TScriptedPort Port;
    TDeviceLink Link{Port};
    TDeviceInfo Stored;
    TBootloaderClient Client{Link, Stored};

    void SetUp() override {
        Port.Descriptions = {"QOR 7316"};
        (void)Link.Upkeep();
        ASSERT_NE(Link.Connection(), nullptr);
    }

    TBytes Sent() const { return Port.Written.back(); }

    // The fault of a version query answered with `reply`.
    TExchangeError VersionFailure(const TBytes& reply) {
        Port.Replies.push_back(reply);
        const auto version = Client.QueryVersion();
        EXPECT_FALSE(version.Ok());
        return version ? TExchangeError{} : version.Error();
    }
};

} // namespace

TEST_F(Verbs, RequestsWithoutPayloadAreSevenBytes) {
    const struct {
        TReply (TBootloaderClient::*Verb)();
        TBytes Frame;
    } acks[] = {
        {&TBootloaderClient::BeginUpdate, {0x00, 0x07, 0x05, 0x65, 0x2E, 0x34, 0xB8}},
        {&TBootloaderClient::EndUpdate, {0x00, 0x07, 0x06, 0x68, 0x6D, 0x12, 0x61}},
        {&TBootloaderClient::PowerOff, {0x00, 0x07, 0x0B, 0x59, 0xA0, 0x94, 0xB2}},
    };
    for (const auto& c : acks) {
        (void)(Client.*c.Verb)();
        EXPECT_EQ(Sent(), c.Frame);
    }
    (void)Client.QueryVersion();
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x07, 0x00, 0x72, 0xEB, 0x5F, 0xD3}));
    (void)Client.QueryPageCount();
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x07, 0x01, 0x76, 0x2A, 0x42, 0x64}));
    (void)Client.QueryPageSize();
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x07, 0x02, 0x7B, 0x69, 0x64, 0xBD}));
    (void)Client.QueryChecksums();
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x07, 0x03, 0x7F, 0xA8, 0x79, 0x0A}));
    (void)Client.QueryFirmwareVersion();
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x07, 0x04, 0x61, 0xEF, 0x29, 0x0F}));
}

TEST_F(Verbs, RangeRequestsCarryTheLastPageIndex) {
    (void)Client.PrepareRange(124);
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x09, 0x08, 0x00, 0x7B, 0x65, 0xA2, 0x64, 0x0C}));
    (void)Client.FinishRange(126);
    EXPECT_EQ(Sent(), (TBytes{0x00, 0x09, 0x0A, 0x00, 0x7D, 0x7C, 0x95, 0x70, 0xB0}));
    // Only the low byte of PageCount - 1 travels.
    (void)Client.PrepareRange(257);
    EXPECT_EQ(Sent()[4], 0x00);
}

TEST_F(Verbs, WriteBlockCarriesAddressDataAndCrcOverTheShortLength) {
    std::array<std::uint8_t, BlockSize> data{};
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    (void)Client.WriteBlock(512, data);

    const TBytes frame = Sent();
    ASSERT_EQ(frame.size(), 523u);
    EXPECT_EQ(TBytes(frame.begin(), frame.begin() + 7),
              (TBytes{0x02, 0x0B, 0x09, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), frame.begin() + 7));
    TBytes covered(frame.begin(), frame.end() - 4);
    covered[0] = 0x02;
    covered[1] = 0x07;
    EXPECT_EQ(ReadBe32(frame.data() + 519), CalcCrc32(covered.data(), covered.size()));

    std::array<std::uint8_t, BlockSize> second{};
    second.fill(0x22);
    (void)Client.WriteBlock(0x0001FE00, second);
    const TBytes next = Sent();
    EXPECT_EQ(TBytes(next.begin(), next.begin() + 7),
              (TBytes{0x02, 0x0B, 0x09, 0x00, 0x01, 0xFE, 0x00}));
    EXPECT_EQ(next[7], 0x22);
}

TEST_F(Verbs, EachExchangePurgesBothDirectionsBeforeItWrites) {
    Port.Line = {0xAA, 0xBB}; // residue of an earlier exchange
    Port.Replies.push_back(MakeFrame(0, {1, 3}));
    const auto version = Client.QueryVersion();
    ASSERT_TRUE(version.Ok());
    EXPECT_EQ(std::get<TBootVersion>(*version).Minor, 3);
    EXPECT_EQ(Port.Purges, 1);
}

TEST_F(Verbs, WithoutAConnectionNothingIsSent) {
    Port.Descriptions.clear();
    (void)Link.Upkeep();
    const auto begun = Client.BeginUpdate();
    ASSERT_FALSE(begun.Ok());
    EXPECT_EQ(begun.Error().Fault, TExchangeFault::NoConnection);
    EXPECT_TRUE(Port.Written.empty());
    EXPECT_EQ(Port.Purges, 0);
}

TEST_F(Verbs, AFailedOrShortWriteFailsTheExchangeAtOnce) {
    Port.FailWrites = 1;
    Port.Replies.push_back(MakeFrame(CmdBeginUpdate));
    const auto failed = Client.BeginUpdate();
    ASSERT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Error().Fault, TExchangeFault::WriteFailed);
    EXPECT_TRUE(Port.ReadSizes.empty()) << "no reply is waited for";

    Port.ShortWrites = 1;
    Port.Replies.push_back(MakeFrame(CmdBeginUpdate));
    const auto cut = Client.BeginUpdate();
    ASSERT_FALSE(cut.Ok());
    EXPECT_EQ(cut.Error().Fault, TExchangeFault::WriteFailed);
    EXPECT_EQ(cut.Error().Describe(), "the request could not be sent (6 of 7 bytes went out)");
    EXPECT_TRUE(Port.ReadSizes.empty());

    Port.Replies.clear();
    Port.Replies.push_back(MakeFrame(CmdBeginUpdate));
    EXPECT_TRUE(Client.BeginUpdate().Ok()) << "the next write goes through";
}

TEST_F(Verbs, TheVersionReplyOfTheExampleIsGood) {
    Port.Replies.push_back({0x00, 0x09, 0x00, 0x01, 0x03, 0x7F, 0xC2, 0x31, 0xB7});
    const auto version = Client.QueryVersion();
    ASSERT_TRUE(version.Ok());
    EXPECT_EQ(std::get<TBootVersion>(*version).Major, 1);
    EXPECT_EQ(std::get<TBootVersion>(*version).Minor, 3);
    EXPECT_EQ(Port.ReadSizes, (std::vector<std::size_t>{2, 7}));
}

TEST_F(Verbs, EachReplyIsDecodedAndStoredByItsOwnCode) {
    Port.Replies = {MakeFrame(1, {126}), MakeFrame(2, {PageSizeCode1024}),
                    MakeFrame(3, {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04}),
                    MakeFrame(4, {'1', '.', 0xE9, 'b'}), MakeFrame(2, {PageSizeCode256})};
    ASSERT_TRUE(Client.QueryPageCount().Ok());
    ASSERT_TRUE(Client.QueryPageSize().Ok());
    ASSERT_TRUE(Client.QueryChecksums().Ok());
    ASSERT_TRUE(Client.QueryFirmwareVersion().Ok());
    EXPECT_EQ(Stored.PageCount, 126u);
    EXPECT_EQ(Stored.PageSize, 1024u);
    EXPECT_EQ(Stored.DeviceChecksums, (TChecksums{0xDEADBEEFu, 0x01020304u}));
    EXPECT_EQ(Stored.DeviceFWVersion, "1.\xE9"
                                      "b");
    const auto size = Client.QueryPageSize();
    ASSERT_TRUE(size.Ok());
    EXPECT_EQ(std::get<TPageSize>(*size).Bytes, 256u) << "handed back as well as stored";
    EXPECT_EQ(Stored.PageSize, 256u);
}

TEST_F(Verbs, APageSizeCodeThatNamesNoSizeIsGoodAndKeepsTheSize) {
    Port.Replies = {MakeFrame(2, {3}), MakeFrame(2, {PageSizeCode512}), MakeFrame(2, {0})};
    ASSERT_TRUE(Client.QueryPageSize().Ok());
    EXPECT_EQ(Stored.PageSize, std::nullopt) << "not reported yet";
    ASSERT_TRUE(Client.QueryPageSize().Ok());
    ASSERT_TRUE(Client.QueryPageSize().Ok());
    EXPECT_EQ(Stored.PageSize, 512u);
}

TEST_F(Verbs, AnAcknowledgementMayCarryExtraBytes) {
    Port.Replies = {MakeFrame(CmdEndUpdate), MakeFrame(CmdEndUpdate, {1, 2, 3})};
    EXPECT_TRUE(Client.EndUpdate().Ok());
    EXPECT_TRUE(Client.EndUpdate().Ok());
    EXPECT_EQ(Stored, TDeviceInfo{}) << "an acknowledgement stores nothing";
}

// Every request against every reply code from 0 to 13, each reply carrying eight data bytes
// of 0x02: codes 0 to 12 are good whatever was asked, and each stores what its own code
// carries; 13 refuses the request and stores nothing.
class ReplyRule : public Verbs, public ::testing::WithParamInterface<std::uint8_t> {
protected:
    TReply Send(std::uint8_t request) {
        std::array<std::uint8_t, BlockSize> block{};
        switch (request) {
        case CmdGetBootVersion:
            return Client.QueryVersion();
        case CmdGetPageCount:
            return Client.QueryPageCount();
        case CmdGetPageSize:
            return Client.QueryPageSize();
        case CmdGetChecksums:
            return Client.QueryChecksums();
        case CmdGetFirmwareVersion:
            return Client.QueryFirmwareVersion();
        case CmdBeginUpdate:
            return Client.BeginUpdate();
        case CmdEndUpdate:
            return Client.EndUpdate();
        case CmdPrepareRange:
            return Client.PrepareRange(124);
        case CmdWriteBlock:
            return Client.WriteBlock(0, block);
        case CmdFinishRange:
            return Client.FinishRange(124);
        default:
            return Client.PowerOff();
        }
    }
};

TEST_P(ReplyRule, EveryGoodReplyAnswersAndIsStoredByItsOwnCode) {
    const std::uint8_t request = GetParam();
    // What each reply code stores, as the reply table gives it, from eight bytes of 0x02.
    TDeviceInfo expected[14];
    expected[0].BootVersion = TBootVersion{2, 2};
    expected[1].PageCount = 2u;
    expected[2].PageSize = 512u; // page-size code 2
    expected[3].DeviceChecksums = TChecksums{0x02020202u, 0x02020202u};
    expected[4].DeviceFWVersion = std::string(4, '\x02');
    for (int code = 0; code <= 13; ++code) {
        SCOPED_TRACE("reply code " + std::to_string(code));
        Stored = {};
        Port.Replies.push_back(MakeFrame(static_cast<std::uint8_t>(code), TBytes(8, 0x02)));
        const TReply result = Send(request);
        ASSERT_EQ(Port.Written.back()[2], request);
        EXPECT_EQ(result.Ok(), code <= 12);
        if (code == 13) {
            EXPECT_EQ(result.Error().Frame.Fault, TFrameFault::Refused);
        }
        EXPECT_EQ(Stored, expected[code]);
        EXPECT_FALSE(Client.InExchange()) << "the client is free again";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, ReplyRule,
                         ::testing::Values(CmdGetBootVersion, CmdGetPageCount, CmdGetPageSize,
                                           CmdGetChecksums, CmdGetFirmwareVersion, CmdBeginUpdate,
                                           CmdEndUpdate, CmdPrepareRange, CmdWriteBlock,
                                           CmdFinishRange, CmdPowerOff),
                         [](const auto& info) { return "Request" + std::to_string(info.param); });

TEST_F(Verbs, CodesAboveTwelveAreRefusals) {
    for (int code : {13, 14, 0x80, 0xFF}) {
        const auto error = VersionFailure(MakeFrame(static_cast<std::uint8_t>(code), {1, 2}));
        EXPECT_EQ(error.Fault, TExchangeFault::BadReply);
        EXPECT_EQ(error.Frame.Fault, TFrameFault::Refused);
        EXPECT_EQ(error.Frame.Code, code);
    }
}

TEST_F(Verbs, LengthsThatCannotBeAFrameFailBeforeTheSecondRead) {
    for (std::uint16_t length : {0, 1, 2, 3, 6, 257, 300, 0xFFFF}) {
        Port.ReadSizes.clear();
        TBytes frame(300, 0x00);
        WriteBe16(frame.data(), length);
        EXPECT_EQ(VersionFailure(frame).Frame.Fault, TFrameFault::BadLength) << length;
        EXPECT_EQ(Port.ReadSizes, (std::vector<std::size_t>{2})) << length;
    }
}

TEST_F(Verbs, AFrameFillingTheWholeReplyBufferIsGood) {
    const TBytes frame = MakeFrame(0, TBytes(ReplyBufferSize - 7, 0x05));
    ASSERT_EQ(frame.size(), ReplyBufferSize);
    Port.Replies.push_back(frame);
    const auto version = Client.QueryVersion();
    ASSERT_TRUE(version.Ok());
    EXPECT_EQ(std::get<TBootVersion>(*version).Major, 5);
    EXPECT_EQ(Port.ReadSizes.back(), ReplyBufferSize - 2);
}

TEST_F(Verbs, MissingOrShortDataFails) {
    EXPECT_EQ(VersionFailure({}).Frame.Fault, TFrameFault::NoReply) << "silence";
    EXPECT_EQ(VersionFailure({0x00}).Frame.Fault, TFrameFault::Short) << "one byte of length";
    EXPECT_EQ(VersionFailure({0x00, 0x09}).Frame.Fault, TFrameFault::Short)
        << "nothing after the length";
    TBytes truncated = MakeFrame(0, {1, 3});
    truncated.pop_back();
    EXPECT_EQ(VersionFailure(truncated).Frame.Fault, TFrameFault::Short) << "one byte short";
}

TEST_F(Verbs, AFrameTooShortForItsCodesDataIsRejected) {
    EXPECT_EQ(VersionFailure(MakeFrame(0, {1})).Fault, TExchangeFault::ShortData);
    Port.Replies = {MakeFrame(3), MakeFrame(3, {1, 2, 3, 4, 5, 6, 7}), MakeFrame(1), MakeFrame(2),
                    MakeFrame(4, {'1', '.', '3'})};
    EXPECT_FALSE(Client.QueryChecksums().Ok()) << "checksums without data";
    EXPECT_FALSE(Client.QueryChecksums().Ok()) << "one byte short";
    EXPECT_FALSE(Client.QueryPageCount().Ok()) << "page count without data";
    EXPECT_FALSE(Client.QueryPageSize().Ok()) << "page size without data";
    EXPECT_FALSE(Client.BeginUpdate().Ok()) << "three characters of a version";
    EXPECT_EQ(Stored, TDeviceInfo{});
}

TEST_F(Verbs, ExchangesUseTheTimeOutsInForce) {
    Link.SetTimeouts(2500, 500);
    Port.Replies.push_back(MakeFrame(0, {1, 3}));
    (void)Client.QueryVersion();
    EXPECT_EQ(Port.ReadTimeouts, (std::vector<std::int64_t>{2500, 2500}));
}
