// The two known device variants, told apart by their flash geometry, and what follows from a
// variant: its letter, the image file it takes, where its image is downloaded from and whether
// an image fits it. Every rule about variants lives here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Result.h"
#include "firmware/FirmwareImage.h"

namespace qor {

// The kind of device the window keeps, and what the download asks for: "a", "b" or any other.
enum class TVariantKind : std::uint8_t { A = 0, B = 1, Other = 2 };

inline constexpr std::uint32_t VariantAPageSize = 512;
inline constexpr std::uint32_t VariantAPageCount = 124;
inline constexpr std::uint32_t VariantBPageSize = 1024;
inline constexpr std::uint32_t VariantBPageCount = 126;

// Why an image does not fit a device.
enum class TFitFault {
    WrongVariant, // its letter is not the device's (no image fits an "other" device)
    TooLarge,     // it would be written past the end of the device's flash
};

class TDeviceVariant {
public:
    // The variant of a device that reported this page size (in bytes, 0 while unknown) and
    // page count.
    static TDeviceVariant FromGeometry(std::uint32_t pageSize, std::uint32_t pageCount);
    // One of the two known variants by its letter ('a' or 'b'), with its flash geometry.
    static std::optional<TDeviceVariant> FromLetter(char letter);

    TVariantKind Kind() const { return VariantKind; }
    // 'a' or 'b'; none for any other device.
    std::optional<char> Letter() const;
    // Bytes of flash the device reported: page size times page count.
    std::uint64_t FlashSize() const { return std::uint64_t{PageSize} * PageCount; }
    // The download path of its image: "/qor-7316-a.bin" for "a", "/qor-7316-b.bin" for any
    // other device.
    std::string DownloadPath() const;

    // An image fits when its variant letter is the device's and the blocks an update writes
    // stay inside the device's flash; fails with why it does not.
    TResult<void, TFitFault> CheckFit(const TFirmwareImage& image) const;
    bool Fits(const TFirmwareImage& image) const { return CheckFit(image).Ok(); }

private:
    TDeviceVariant(TVariantKind kind, std::uint32_t pageSize, std::uint32_t pageCount)
        : VariantKind(kind), PageSize(pageSize), PageCount(pageCount) {}

    TVariantKind VariantKind;
    std::uint32_t PageSize;
    std::uint32_t PageCount;
};

// The download path of a kind's image.
std::string DownloadPathOf(TVariantKind kind);

std::string DescribeFitFault(TFitFault fault);

} // namespace qor
