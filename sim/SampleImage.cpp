#include "sim/SampleImage.h"

#include <algorithm>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "firmware/DeviceVariant.h"
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

TByteVector MakeFirmwareImage(std::size_t size, std::string_view version, std::uint32_t seed) {
    TByteVector image(std::max(size, ImageMinimumSize));
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    const std::size_t at = image.size() - ImageVersionFromEnd;
    for (std::size_t i = 0; i < ImageVersionSize; ++i) {
        image[at + i] = i < version.size() ? static_cast<std::uint8_t>(version[i]) : ' ';
    }
    const std::size_t covered = image.size() - ImageTrailerSize;
    WriteLe32(image.data() + covered, CalcCrc32(image.data(), covered));
    return image;
}

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
    return static_cast<std::size_t>(
        TDeviceVariant::FromLetter(VariantLetterOf(variant))->FlashSize());
}

TResult<TImageRecipe> NormaliseRecipe(TImageRecipe recipe) {
    const char letter = VariantLetterOf(recipe.Variant);
    if (recipe.Version.size() == ImageVersionSize - 1) {
        recipe.Version += letter;
    }
    if (recipe.Version.size() != ImageVersionSize) {
        return Fail(TError{"the version must have 3 or 4 characters (for example 1.4a), not \"" +
                           recipe.Version + "\""});
    }
    if (recipe.Version.back() != letter) {
        return Fail(TError{std::string("the version's fourth character is the variant letter: \"") +
                           recipe.Version + "\" does not end in '" + letter + "'"});
    }
    if (!recipe.Size) {
        recipe.Size = FlashSizeOf(recipe.Variant);
    }
    if (*recipe.Size < ImageMinimumSize || *recipe.Size > LargestImage) {
        return Fail(TError{"the size must be between " + std::to_string(ImageMinimumSize) +
                           " and " + std::to_string(LargestImage) + " bytes"});
    }
    return recipe;
}

TByteVector MakeSampleImage(const TImageRecipe& recipe) {
    return MakeFirmwareImage(recipe.Size.value_or(FlashSizeOf(recipe.Variant)), recipe.Version,
                             SeedOf(recipe));
}

} // namespace qor
