#include "device/Reply.h"

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/Protocol.h"

namespace qor {
namespace {

// Data bytes after the code that each reply code carries.
constexpr std::size_t DataSize(std::uint8_t code) {
    switch (code) {
    case CmdGetBootVersion:
        return 2;
    case CmdGetPageCount:
    case CmdGetPageSize:
        return 1;
    case CmdGetChecksums:
        return 8;
    case CmdGetFirmwareVersion:
        return FirmwareVersionLength;
    default:
        return 0;
    }
}

} // namespace

bool CheckReply(std::uint8_t* reply, std::size_t capacity) {
    if (capacity < LengthFieldSize) {
        return false;
    }
    const std::size_t length = ReadBe16(reply);
    if (length < MinFrameLength || length > capacity) {
        return false;
    }
    const std::size_t covered = length - CrcFieldSize;
    WriteBe16(reply, static_cast<std::uint16_t>(covered));
    return CalcCrc32(reply, covered) == ReadBe32(reply + covered);
}

bool DecodeReply(const std::uint8_t* reply, std::size_t length, TDeviceValues& values) {
    if (length < MinFrameLength) {
        return false;
    }
    const std::uint8_t code = reply[2];
    if (code > LastGoodReplyCode) {
        return false;
    }
    // A frame too short for its code's data would otherwise be decoded from its own CRC.
    if (length < MinFrameLength + DataSize(code)) {
        return false;
    }
    const std::uint8_t* data = reply + FrameHeaderSize;
    switch (code) {
    case CmdGetBootVersion:
        values.BootVersionMajor = data[0];
        values.BootVersionMinor = data[1];
        break;
    case CmdGetPageCount:
        values.PageCount = data[0];
        break;
    case CmdGetPageSize:
        // Unknown codes leave the size as it was; the reply still counts as good.
        if (data[0] == PageSizeCode256) {
            values.PageSize = 256;
        } else if (data[0] == PageSizeCode512) {
            values.PageSize = 512;
        } else if (data[0] == PageSizeCode1024) {
            values.PageSize = 1024;
        }
        break;
    case CmdGetChecksums:
        values.DeviceChecksum1 = ReadBe32(data);
        values.DeviceChecksum2 = ReadBe32(data + 4);
        break;
    case CmdGetFirmwareVersion:
        values.DeviceFWVersion.assign(reinterpret_cast<const char*>(data), FirmwareVersionLength);
        break;
    default: // acknowledgements carry nothing to store
        break;
    }
    return true;
}

} // namespace qor
