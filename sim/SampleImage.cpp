#include "sim/SampleImage.h"

#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::size_t VersionFromEnd = 24;
// Images of 16 MiB and more are refused by the updater; the tool stays below that.
constexpr std::size_t LargestImage = 16 * 1024 * 1024 - 1;

std::uint32_t SeedOf(const TSampleImageSpec& spec) {
    std::uint32_t seed = spec.Variant == TImageVariant::A ? 0xA : 0xB;
    for (const char c : spec.Version) {
        seed = seed * 31 + static_cast<std::uint8_t>(c);
    }
    return seed;
}

} // namespace

char VariantLetterOf(TImageVariant variant) {
    return variant == TImageVariant::A ? 'a' : 'b';
}

std::optional<TImageVariant> VariantFromLetter(std::string_view letter) {
    if (letter == "a") {
        return TImageVariant::A;
    }
    if (letter == "b") {
        return TImageVariant::B;
    }
    return std::nullopt;
}

std::size_t FlashSizeOf(TImageVariant variant) {
    return variant == TImageVariant::A ? std::size_t{VariantAPageSize} * VariantAPageCount
                                       : std::size_t{VariantBPageSize} * VariantBPageCount;
}

std::optional<std::string> NormaliseSpec(TSampleImageSpec& spec) {
    const char letter = VariantLetterOf(spec.Variant);
    if (spec.Version.size() == FirmwareVersionLength - 1) {
        spec.Version += letter;
    }
    if (spec.Version.size() != FirmwareVersionLength) {
        return "the version must have 3 or 4 characters (for example 1.4a), not \"" + spec.Version +
               "\"";
    }
    if (spec.Version.back() != letter) {
        return std::string("the version's fourth character is the variant letter: \"") +
               spec.Version + "\" does not end in '" + letter + "'";
    }
    if (!spec.Size) {
        spec.Size = FlashSizeOf(spec.Variant);
    }
    if (*spec.Size < VersionFromEnd || *spec.Size > LargestImage) {
        return "the size must be between " + std::to_string(VersionFromEnd) + " and " +
               std::to_string(LargestImage) + " bytes";
    }
    return std::nullopt;
}

TByteVector MakeSampleImage(const TSampleImageSpec& spec) {
    return MakeFirmwareImage(spec.Size.value_or(FlashSizeOf(spec.Variant)), spec.Version,
                             SeedOf(spec));
}

} // namespace qor
