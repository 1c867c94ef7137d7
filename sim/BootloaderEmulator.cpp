#include "sim/BootloaderEmulator.h"

#include <algorithm>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"

namespace qor {
namespace {

constexpr std::uint8_t Erased = 0xFF;

// Codes that name no page size give 512-byte pages.
std::uint32_t PageBytesOf(std::uint8_t code) {
    const std::uint32_t size = PageSizeOfCode(code);
    return size != 0 ? size : 512;
}

char VariantLetter(const TBootloaderConfig& config) {
    return TDeviceVariant::FromGeometry(PageSizeOfCode(config.PageSizeCode), config.PageCount)
        .Letter()
        .value_or('x');
}

TBootloaderAnswer Reply(std::uint8_t code, const TByteVector& data = {}) {
    return {EncodeFrame(code, data), false};
}

} // namespace

TBootloaderEmulator::TBootloaderEmulator(const TBootloaderConfig& config)
    : Setup(config), PageBytes(PageBytesOf(config.PageSizeCode)),
      FlashBytes(std::size_t{config.PageCount} * PageBytes, Erased) {
    SetAckCode(config.AckCode);
    SetVersionReplyCode(config.VersionReplyCode);
    if (FlashBytes.size() >= ImageMinimumSize && !config.NoApplication) {
        FlashBytes = MakeFirmwareImage(
            FlashBytes.size(), std::string("1.0") + VariantLetter(config), config.PageCount);
    }
}

bool TBootloaderEmulator::IsValidRequest(std::span<const std::uint8_t> frame) {
    // The same rule in both directions; the frame must be exactly what its length says.
    return frame.size() >= LengthFieldSize && ReadBe16(frame.data()) == frame.size() &&
           DecodeFrame(frame, SendBufferSize).Ok();
}

TBootloaderAnswer TBootloaderEmulator::Refuse() const {
    return Reply(RefusalReplyCode);
}

TBootloaderAnswer TBootloaderEmulator::Acknowledge(std::uint8_t request) const {
    if (Setup.DataAcknowledgements) {
        // A value of the device's own for each request that changes it.
        switch (request) {
        case CmdBeginUpdate:
            return ValueReply(CmdGetBootVersion);
        case CmdPrepareRange:
            return ValueReply(CmdGetPageCount);
        case CmdWriteBlock:
            return ValueReply(CmdGetPageSize);
        case CmdFinishRange:
            return ValueReply(CmdGetChecksums);
        case CmdEndUpdate:
            return ValueReply(CmdGetFirmwareVersion);
        default:
            return ValueReply(CmdGetBootVersion);
        }
    }
    return Reply(Setup.AckCode == AckWithRequestCode ? request : Setup.AckCode);
}

std::uint8_t TBootloaderEmulator::QueryReplyCode(std::uint8_t request) const {
    if (!Setup.SwapQueryReplies) {
        return request;
    }
    switch (request) {
    case CmdGetPageCount:
        return CmdGetPageSize;
    case CmdGetPageSize:
        return CmdGetPageCount;
    case CmdGetChecksums:
        return CmdGetFirmwareVersion;
    case CmdGetFirmwareVersion:
        return CmdGetChecksums;
    default:
        return request;
    }
}

TBootloaderAnswer TBootloaderEmulator::ValueReply(std::uint8_t code) const {
    switch (code) {
    case CmdGetPageCount:
        return Reply(code, {static_cast<std::uint8_t>(Setup.PageCount)});
    case CmdGetPageSize:
        return Reply(code, {Setup.PageSizeCode});
    case CmdGetChecksums: {
        TByteVector data(ChecksumsReplySize);
        WriteBe32(data.data(), Checksum1());
        WriteBe32(data.data() + 4, Checksum2());
        return Reply(code, data);
    }
    case CmdGetFirmwareVersion: {
        if (!HasApplication()) {
            return Reply(Setup.AckCode == AckWithRequestCode ? DefaultAckCode : Setup.AckCode);
        }
        const std::string version = FirmwareVersion();
        return Reply(code, TByteVector(version.begin(), version.end()));
    }
    default:
        return Reply(CmdGetBootVersion, {Setup.VersionMajor, Setup.VersionMinor});
    }
}

TBootloaderAnswer TBootloaderEmulator::Answer(const TByteVector& frame) {
    const std::uint8_t code = frame[2];
    const std::size_t payloadSize = frame.size() - MinFrameLength;
    const std::optional<std::size_t> expected = RequestPayloadSize(code);
    if (!expected || *expected != payloadSize) {
        return Refuse();
    }
    const std::uint8_t* payload = frame.data() + FrameHeaderSize;
    switch (code) {
    case CmdGetBootVersion:
        return Setup.VersionReplyCode >= FirstAcknowledgementCode
                   ? Reply(Setup.VersionReplyCode)
                   : ValueReply(Setup.VersionReplyCode);
    case CmdGetPageCount:
    case CmdGetPageSize:
    case CmdGetChecksums:
    case CmdGetFirmwareVersion:
        return ValueReply(QueryReplyCode(code));
    case CmdBeginUpdate:
        Session = TSession::Begun;
        return Acknowledge(code);
    case CmdPrepareRange:
        return PrepareRange(payload);
    case CmdWriteBlock:
        return WriteBlock(payload);
    case CmdFinishRange:
        return FinishRange(payload);
    case CmdEndUpdate:
        Session = TSession::Idle;
        return Acknowledge(code);
    case CmdPowerOff:
        return {Acknowledge(code).Reply, true};
    default:
        return Refuse();
    }
}

// Erases pages 0 to the given last page; only they can be written until the range finishes.
TBootloaderAnswer TBootloaderEmulator::PrepareRange(const std::uint8_t* payload) {
    const std::uint8_t lastPage = payload[1];
    if (Session != TSession::Begun || payload[0] != 0 || lastPage >= Setup.PageCount) {
        return Refuse();
    }
    RangeLastPage = lastPage;
    RangeEnd = (std::uint32_t{lastPage} + 1) * PageBytes;
    std::fill_n(FlashBytes.begin(), RangeEnd, Erased);
    Session = TSession::RangeOpen;
    return Acknowledge(CmdPrepareRange);
}

TBootloaderAnswer TBootloaderEmulator::WriteBlock(const std::uint8_t* payload) {
    const std::uint32_t address = ReadBe32(payload);
    if (Session != TSession::RangeOpen || address > RangeEnd || RangeEnd - address < BlockSize) {
        return Refuse();
    }
    std::copy_n(payload + BlockAddressSize, BlockSize, FlashBytes.begin() + address);
    return Acknowledge(CmdWriteBlock);
}

TBootloaderAnswer TBootloaderEmulator::FinishRange(const std::uint8_t* payload) {
    if (Session != TSession::RangeOpen || payload[0] != 0 || payload[1] != RangeLastPage) {
        return Refuse();
    }
    Session = TSession::Begun;
    return Acknowledge(CmdFinishRange);
}

void TBootloaderEmulator::SetVersion(std::uint8_t major, std::uint8_t minor) {
    Setup.VersionMajor = major;
    Setup.VersionMinor = minor;
}

void TBootloaderEmulator::SetAckCode(std::uint8_t code) {
    const bool acknowledgement = code >= FirstAcknowledgementCode && code <= LastGoodReplyCode;
    Setup.AckCode = acknowledgement || code == AckWithRequestCode ? code : DefaultAckCode;
}

void TBootloaderEmulator::SetVersionReplyCode(std::uint8_t code) {
    Setup.VersionReplyCode = code <= LastGoodReplyCode ? code : CmdGetBootVersion;
}

void TBootloaderEmulator::LoadFlash(const TByteVector& image) {
    std::fill(FlashBytes.begin(), FlashBytes.end(), Erased);
    std::copy_n(image.begin(), std::min(image.size(), FlashBytes.size()), FlashBytes.begin());
}

std::uint32_t TBootloaderEmulator::Checksum1() const {
    const std::size_t covered =
        FlashBytes.size() >= ImageTrailerSize ? FlashBytes.size() - ImageTrailerSize : 0;
    return CalcCrc32(FlashBytes.data(), covered);
}

std::uint32_t TBootloaderEmulator::Checksum2() const {
    if (FlashBytes.size() < ImageTrailerSize) {
        return 0xFFFFFFFFu;
    }
    return ReadLe32(FlashBytes.data() + FlashBytes.size() - ImageTrailerSize);
}

std::string TBootloaderEmulator::FirmwareVersion() const {
    if (FlashBytes.size() < ImageVersionFromEnd) {
        return std::string(FirmwareVersionLength, static_cast<char>(Erased));
    }
    const auto at = FlashBytes.end() - static_cast<std::ptrdiff_t>(ImageVersionFromEnd);
    return {at, at + FirmwareVersionLength};
}

} // namespace qor
