#include "sim/VirtualDevice.h"

#include <algorithm>
#include <utility>

#include "base/ByteOrder.h"
#include "device/FrameCodec.h"
#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::size_t MaxRequestFrame = SendBufferSize;
constexpr std::uint32_t DefaultAnnouncedLength = 300;

// A frame whose length field announces `length`: a genuine frame of that size when it can
// be one, else the length field and whatever bytes it claims.
TByteVector FrameOfLength(const TByteVector& reply, std::uint32_t length) {
    if (length < MinFrameLength) {
        TByteVector bytes(std::max<std::size_t>(length, LengthFieldSize), 0);
        WriteBe16(bytes.data(), static_cast<std::uint16_t>(length));
        return bytes;
    }
    TByteVector payload(length - MinFrameLength, 0);
    const std::size_t have = reply.size() - MinFrameLength;
    std::copy_n(reply.begin() + FrameHeaderSize, std::min(have, payload.size()), payload.begin());
    return EncodeFrame(reply[2], payload);
}

} // namespace

TVirtualDevice::TVirtualDevice(std::string description, const TBootloaderConfig& config)
    : Description(std::move(description)), Bootloader(config) {
    Rx.reserve(MaxRequestFrame);
}

void TVirtualDevice::Unplug() {
    if (IsPlugged) {
        IsPlugged = false;
        ++LeaveCount;
    }
    Rx.clear();
}

void TVirtualDevice::SwitchOn(TDeviceMode mode) {
    if (mode == TDeviceMode::Off) {
        SwitchOff();
        return;
    }
    CurrentMode = mode;
    PendingSwitchOffUs.reset();
}

void TVirtualDevice::SwitchOff() {
    if (CurrentMode != TDeviceMode::Off) {
        CurrentMode = TDeviceMode::Off;
        ++LeaveCount;
    }
    PendingSwitchOffUs.reset();
    Rx.clear();
}

void TVirtualDevice::Settle(std::uint64_t nowUs) {
    if (PendingSwitchOffUs && *PendingSwitchOffUs <= nowUs) {
        SwitchOff();
    }
}

void TVirtualDevice::Receive(const std::uint8_t* data, std::size_t size, std::uint64_t nowUs,
                             std::uint64_t byteUs, std::vector<TReplyBurst>& replies) {
    if (PendingSwitchOffUs) {
        return; // shutting down
    }
    for (std::size_t i = 0; i < size && Listed(); ++i) {
        const std::uint64_t at = nowUs + (i + 1) * byteUs;
        if (!Rx.empty() && at > LastByteUs && at - LastByteUs >= FrameGapUs) {
            Record(RequestCount++, false, false); // the rest never came
            Rx.clear();
        }
        LastByteUs = at;
        Rx.push_back(data[i]);
        if (Rx.size() == LengthFieldSize) {
            const std::size_t length = ReadBe16(Rx.data());
            if (length < MinFrameLength || length > MaxRequestFrame) {
                Record(RequestCount++, false, false); // cannot be a frame: resynchronise
                Rx.clear();
            }
        } else if (Rx.size() > LengthFieldSize && Rx.size() == ReadBe16(Rx.data())) {
            FinishFrame(i + 1, replies);
            Rx.clear();
        }
    }
}

void TVirtualDevice::FinishFrame(std::size_t requestEnd, std::vector<TReplyBurst>& replies) {
    const std::uint32_t number = RequestCount++;
    if (!TBootloaderEmulator::IsValidRequest(Rx)) {
        Record(number, false, false);
        return;
    }
    if (CurrentMode != TDeviceMode::Bootloader) {
        Record(number, true, false);
        return;
    }
    AnswerFrame(number, requestEnd, replies);
}

void TVirtualDevice::AnswerFrame(std::uint32_t number, std::size_t requestEnd,
                                 std::vector<TReplyBurst>& replies) {
    const std::uint8_t code = Rx[2];
    std::optional<std::uint32_t> block;
    if (code == CmdWriteBlock && Rx.size() >= FrameHeaderSize + BlockAddressSize) {
        block = ReadBe32(Rx.data() + FrameHeaderSize) / BlockSize;
    }
    const std::optional<TFault> fault = Faults.Take(number, code, block);
    if (fault && fault->Kind == TFaultKind::Unplug) {
        Record(number, true, false);
        Unplug();
        return;
    }
    TBootloaderAnswer answer = fault && fault->Kind == TFaultKind::AnswerCode13
                                   ? TBootloaderAnswer{EncodeFrame(RefusalReplyCode), false}
                                   : Bootloader.Answer(Rx);
    TReplyBurst burst{std::move(answer.Reply), requestEnd, 0, answer.PowerOff};
    if (fault) {
        switch (fault->Kind) {
        case TFaultKind::DropReply:
            burst.Bytes.clear();
            break;
        case TFaultKind::CorruptCrc:
            burst.Bytes.back() ^= 0x01;
            break;
        case TFaultKind::Truncate: {
            const std::size_t keep = fault->Param != 0 ? fault->Param : burst.Bytes.size() / 2;
            burst.Bytes.resize(std::min(keep, burst.Bytes.size() - 1));
            break;
        }
        case TFaultKind::AnnounceLength:
            burst.Bytes = FrameOfLength(burst.Bytes,
                                        fault->Param != 0 ? fault->Param : DefaultAnnouncedLength);
            break;
        case TFaultKind::AnswerOtherCode: {
            std::uint8_t other = static_cast<std::uint8_t>(fault->Param % (LastGoodReplyCode + 1));
            if (other == code) {
                other = static_cast<std::uint8_t>((code + 1) % (LastGoodReplyCode + 1));
            }
            const std::span<const std::uint8_t> reply(burst.Bytes);
            burst.Bytes =
                EncodeFrame(other, reply.subspan(FrameHeaderSize, reply.size() - MinFrameLength));
            break;
        }
        case TFaultKind::Delay:
            burst.DelayUs = std::uint64_t{fault->Param} * 1000;
            break;
        case TFaultKind::AnswerCode13:
        case TFaultKind::Unplug:
            break;
        }
    }
    Record(number, true, !burst.Bytes.empty());
    if (!burst.Bytes.empty() || burst.SwitchOffAfter) {
        replies.push_back(std::move(burst));
    }
}

void TVirtualDevice::Record(std::uint32_t number, bool valid, bool answered) {
    if (!RecordFrames) {
        return;
    }
    TFrameRecord record;
    record.Number = number;
    record.Code = Rx.size() > 2 ? Rx[2] : 0;
    record.Valid = valid;
    record.Answered = answered;
    record.Bytes = Rx;
    Frames.push_back(std::move(record));
}

std::size_t TVirtualDevice::FrameCount(std::uint8_t code) const {
    return static_cast<std::size_t>(std::count_if(
        Frames.begin(), Frames.end(), [code](const TFrameRecord& f) { return f.Code == code; }));
}

} // namespace qor
