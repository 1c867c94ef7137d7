#include "device/Bootloader.h"

#include <array>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/Protocol.h"

namespace qor {

TBootloader::TBootloader(TDeviceLink& link) : Link(link) {
}

bool TBootloader::TransferFrame(const TRequestBuffer& request) {
    const std::size_t length = ReadBe16(request.data());
    if (length < FrameHeaderSize || length > RequestCapacity) {
        return false;
    }
    const FT_HANDLE handle = Link.FtHandle;
    if (handle == 0) {
        return false;
    }
    std::array<std::uint8_t, SendBufferSize> send{};
    std::memcpy(send.data(), request.data(), length);
    const std::uint32_t crc = CalcCrc32(send.data(), length);
    WriteBe16(send.data(), static_cast<std::uint16_t>(length + CrcFieldSize));
    WriteBe32(send.data() + length, crc);

    IFtPort& port = Link.Port();
    port.Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
    std::uint32_t written = 0;
    port.Write(handle, send.data(), static_cast<std::uint32_t>(length + CrcFieldSize), &written);

    std::array<std::uint8_t, ReplyBufferSize> reply{};
    std::uint32_t got = 0;
    port.Read(handle, reply.data(), LengthFieldSize, &got);
    if (got != LengthFieldSize) {
        return false;
    }
    const std::size_t replyLength = ReadBe16(reply.data());
    // Bounded before the second read: a length the buffer cannot take, or one too short to be
    // a frame, fails here. Whatever of it is still on the line is dropped by the purge that
    // starts the next exchange.
    if (replyLength < MinFrameLength || replyLength > ReplyBufferSize) {
        return false;
    }
    const std::uint32_t rest = static_cast<std::uint32_t>(replyLength - LengthFieldSize);
    got = 0;
    port.Read(handle, reply.data() + LengthFieldSize, rest, &got);
    // A short reply fails at once rather than have its CRC compared with bytes never received.
    if (got != rest) {
        return false;
    }
    return CheckReply(reply.data(), reply.size()) && DecodeReply(reply.data(), replyLength, Values);
}

bool TBootloader::SendSimpleRequest(std::uint8_t code) {
    BuildSimpleRequest(Request, code);
    return TransferFrame(Request);
}

bool TBootloader::QueryBootloader() {
    BootloaderReady = false;
    // A short first wait: with nothing answering, the attempt costs one 100 ms time-out.
    Link.SetTimeouts(QueryFirstReadTimeoutMs, WriteTimeoutMs);
    if (!SendSimpleRequest(CmdGetBootVersion)) {
        return false;
    }
    Link.SetTimeouts(QueryReadTimeoutMs, WriteTimeoutMs);
    for (const std::uint8_t code :
         {CmdGetPageSize, CmdGetPageCount, CmdGetChecksums, CmdGetFirmwareVersion}) {
        if (!SendSimpleRequest(code)) {
            return false;
        }
    }
    BootloaderReady = true;
    return true;
}

void TBootloader::PollBootloader() {
    SendSimpleRequest(CmdGetBootVersion);
}

} // namespace qor
