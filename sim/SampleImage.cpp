#include "sim/SampleImage.h"

#include "device/Protocol.h"
#include "firmware/FirmwareImage.h"

namespace qor {
namespace {

// Images of 16 MiB and more are refused by the updater; the tool stays below that.
constexpr std::size_t LargestImage = ImageMaximumSize - 1;

std::uint32_t SeedOf(const TImageRecipe& recipe) {
    std::uint32_t seed = recipe.Variant == TImageVariant::A ? 0xA : 0xB;
    for (const char c : recipe.Version) {
        seed = seed * 31 + static_cast<std::uint8_t>(c);
    }
    return seed;
}

} // namespace

char VariantLetterOf(TImageVariant variant) {
    return static_cast<char>(variant == TImageVariant::A ? VariantLetterA : VariantLetterB);
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

std::optional<std::string> NormaliseRecipe(TImageRecipe& recipe) {
    const char letter = VariantLetterOf(recipe.Variant);
    if (recipe.Version.size() == FirmwareVersionLength - 1) {
        recipe.Version += letter;
    }
    if (recipe.Version.size() != FirmwareVersionLength) {
        return "the version must have 3 or 4 characters (for example 1.4a), not \"" +
               recipe.Version + "\"";
    }
    if (recipe.Version.back() != letter) {
        return std::string("the version's fourth character is the variant letter: \"") +
               recipe.Version + "\" does not end in '" + letter + "'";
    }
    if (!recipe.Size) {
        recipe.Size = FlashSizeOf(recipe.Variant);
    }
    if (*recipe.Size < ImageMinimumSize || *recipe.Size > LargestImage) {
        return "the size must be between " + std::to_string(ImageMinimumSize) + " and " +
               std::to_string(LargestImage) + " bytes";
    }
    return std::nullopt;
}

TByteVector MakeSampleImage(const TImageRecipe& recipe) {
    return MakeFirmwareImage(recipe.Size.value_or(FlashSizeOf(recipe.Variant)), recipe.Version,
                             SeedOf(recipe));
}

} // namespace qor
