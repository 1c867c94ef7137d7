// The bootloader inside the virtual device: its flash, its version and variant, and what it
// does on each request. Frames come in whole and checked; the answer is a whole reply frame.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"
#include "sim/SampleImage.h"

namespace qor {

// What the virtual bootloader answers to a request it refuses: the first code of a bad reply.
inline constexpr std::uint8_t RefusalReplyCode = LastGoodReplyCode + 1;

// The code the bootloader acknowledges with: any of 5 to 12, or the request's own.
inline constexpr std::uint8_t AckWithRequestCode = 0;
// The default is a code no request carries, so a host that expects its own code back fails.
inline constexpr std::uint8_t DefaultAckCode = 7;

struct TBootloaderConfig {
    std::uint8_t PageSizeCode = 2; // 1: 256, 2: 512, 4: 1024; other codes give 512-byte pages
    std::uint32_t PageCount = VariantAPageCount;
    std::uint8_t VersionMajor = 1;
    std::uint8_t VersionMinor = 3;
    std::uint8_t AckCode = DefaultAckCode;
    // The code of the version request's reply: 0 gives the version, 1 to 4 the value of that
    // query, 5 to 12 an acknowledgement.
    std::uint8_t VersionReplyCode = CmdGetBootVersion;
    // The queries answered with each other's replies: page size with the page count and back,
    // checksums with the firmware version and back.
    bool SwapQueryReplies = false;
    // The requests that change the device answered with a data reply of the device's values
    // instead of an acknowledgement.
    bool DataAcknowledgements = false;
    // The flash starts erased: no application, so the checksums differ.
    bool NoApplication = false;

    static TBootloaderConfig VariantA() { return {PageSizeCode512, VariantAPageCount}; }
    static TBootloaderConfig VariantB() { return {PageSizeCode1024, VariantBPageCount}; }
};

struct TBootloaderAnswer {
    TByteVector Reply;
    bool PowerOff = false; // switch off once the reply is out
};

class TBootloaderEmulator {
public:
    // The flash starts with a valid image of its whole size, so the checksums agree, unless
    // the device is to start with no application.
    explicit TBootloaderEmulator(const TBootloaderConfig& config = {});

    // Whether a received frame has a sound length field and CRC.
    static bool IsValidRequest(std::span<const std::uint8_t> frame);
    // Carries out a valid request and makes its reply; refused requests get code 13.
    TBootloaderAnswer Answer(const TByteVector& frame);

    // Lays an image out from address 0; the rest of the flash reads as erased (0xFF).
    void LoadFlash(const TByteVector& image);
    // Erases the whole flash: no application is left.
    void Erase() { LoadFlash({}); }
    // A flash whose checksums disagree holds no application that could tell its version: the
    // firmware-version request is then acknowledged instead.
    bool HasApplication() const { return Checksum1() == Checksum2(); }
    const TByteVector& Flash() const { return FlashBytes; }
    std::uint32_t Checksum1() const;
    std::uint32_t Checksum2() const;
    std::string FirmwareVersion() const;

    void SetVersion(std::uint8_t major, std::uint8_t minor);
    // Codes outside 5 to 12 (but AckWithRequestCode) are taken as the default.
    void SetAckCode(std::uint8_t code);
    std::uint8_t AckCode() const { return Setup.AckCode; }
    // Codes above 12 are taken as 0.
    void SetVersionReplyCode(std::uint8_t code);
    std::uint8_t VersionReplyCode() const { return Setup.VersionReplyCode; }
    void SetSwapQueryReplies(bool swap) { Setup.SwapQueryReplies = swap; }
    bool SwapQueryReplies() const { return Setup.SwapQueryReplies; }
    void SetDataAcknowledgements(bool data) { Setup.DataAcknowledgements = data; }
    bool DataAcknowledgements() const { return Setup.DataAcknowledgements; }

private:
    enum class TSession { Idle, Begun, RangeOpen };

    TBootloaderAnswer Refuse() const;
    TBootloaderAnswer Acknowledge(std::uint8_t request) const;
    // The reply of a query's code with its value.
    TBootloaderAnswer ValueReply(std::uint8_t code) const;
    // The code whose value answers a query: its own, or its partner's when they are swapped.
    std::uint8_t QueryReplyCode(std::uint8_t request) const;
    TBootloaderAnswer PrepareRange(const std::uint8_t* payload);
    TBootloaderAnswer WriteBlock(const std::uint8_t* payload);
    TBootloaderAnswer FinishRange(const std::uint8_t* payload);

    TBootloaderConfig Setup;
    std::uint32_t PageBytes;
    TByteVector FlashBytes;
    TSession Session = TSession::Idle;
    std::uint32_t RangeEnd = 0; // bytes of flash the open range covers
    std::uint8_t RangeLastPage = 0;
};

} // namespace qor
