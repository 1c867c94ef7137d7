#include "firmware/DeviceVariant.h"

namespace qor {
namespace {

constexpr const char* DownloadPathPrefix = "/qor-7316-";
constexpr const char* DownloadPathSuffix = ".bin";

} // namespace

TDeviceVariant TDeviceVariant::FromGeometry(std::uint32_t pageSize, std::uint32_t pageCount) {
    if (pageSize == VariantAPageSize && pageCount == VariantAPageCount) {
        return {TVariantKind::A, pageSize, pageCount};
    }
    if (pageSize == VariantBPageSize && pageCount == VariantBPageCount) {
        return {TVariantKind::B, pageSize, pageCount};
    }
    return {TVariantKind::Other, pageSize, pageCount};
}

std::optional<TDeviceVariant> TDeviceVariant::FromLetter(char letter) {
    if (letter == static_cast<char>(VariantLetterA)) {
        return TDeviceVariant(TVariantKind::A, VariantAPageSize, VariantAPageCount);
    }
    if (letter == static_cast<char>(VariantLetterB)) {
        return TDeviceVariant(TVariantKind::B, VariantBPageSize, VariantBPageCount);
    }
    return std::nullopt;
}

std::optional<char> TDeviceVariant::Letter() const {
    switch (VariantKind) {
    case TVariantKind::A:
        return static_cast<char>(VariantLetterA);
    case TVariantKind::B:
        return static_cast<char>(VariantLetterB);
    case TVariantKind::Other:
        break;
    }
    return std::nullopt;
}

std::string TDeviceVariant::DownloadPath() const {
    return DownloadPathOf(VariantKind);
}

TResult<void, TFitFault> TDeviceVariant::CheckFit(const TFirmwareImage& image) const {
    const std::optional<char> letter = Letter();
    if (!letter || image.VariantLetter() != static_cast<std::uint8_t>(*letter)) {
        return Fail(TFitFault::WrongVariant);
    }
    const std::uint64_t written = image.Size() / BlockSize * BlockSize;
    if (written > FlashSize()) {
        return Fail(TFitFault::TooLarge);
    }
    return {};
}

std::string DownloadPathOf(TVariantKind kind) {
    const char letter = kind == TVariantKind::A ? static_cast<char>(VariantLetterA)
                                                : static_cast<char>(VariantLetterB);
    return std::string(DownloadPathPrefix) + letter + DownloadPathSuffix;
}

std::string DescribeFitFault(TFitFault fault) {
    switch (fault) {
    case TFitFault::WrongVariant:
        return "the image is not made for this device variant";
    case TFitFault::TooLarge:
        return "the image is larger than the device's flash";
    }
    return "the image does not fit the device";
}

} // namespace qor
