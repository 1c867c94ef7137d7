// Valid image files for the two device variants, as the demo's server and the image tool
// make them: the variant's whole flash size, the version field and the CRC trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace qor {

using TByteVector = std::vector<std::uint8_t>;

// An image file of `size` bytes (at least 24) with the four version characters 24 bytes
// before its end and the CRC-32 trailer, least significant byte first. The content is a
// pattern chosen by `seed`.
TByteVector MakeFirmwareImage(std::size_t size, std::string_view version, std::uint32_t seed = 1);

enum class TImageVariant { A, B };

struct TImageRecipe {
    TImageVariant Variant = TImageVariant::A;
    // Four characters, the fourth being the variant letter; with three, NormaliseRecipe
    // appends the letter.
    std::string Version = "1.4";
    std::optional<std::size_t> Size; // default: the variant's flash size
};

char VariantLetterOf(TImageVariant variant);
std::optional<TImageVariant> VariantFromLetter(std::string_view letter);
// Page size times page count: an image of this size makes the device's checksums agree.
std::size_t FlashSizeOf(TImageVariant variant);

// The recipe checked and completed: a version of three characters gets the variant letter
// appended; one of four must end in it. The size defaults to the variant's flash size; the
// smallest is 24 bytes (the version field lies 24 bytes before the end). The reason when the
// recipe cannot make an image.
TResult<TImageRecipe> NormaliseRecipe(TImageRecipe recipe);

// The image of a normalised recipe. Its content depends on the variant and version only, so
// the same recipe always gives the same bytes.
TByteVector MakeSampleImage(const TImageRecipe& recipe);

} // namespace qor
