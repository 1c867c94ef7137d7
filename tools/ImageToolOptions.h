// The command line of qor7316-make-image, parsed apart from main() so that it can be tested.
#pragma once

#include <string>
#include <vector>

#include "base/Result.h"
#include "sim/SampleImage.h"

namespace qor {

struct TImageToolOptions {
    TImageRecipe Recipe;
    std::string Output;
    bool Help = false;
};

// The options the arguments after the program name give, with the recipe normalised; the
// reason when they do not describe an image.
TResult<TImageToolOptions> ParseImageToolOptions(const std::vector<std::string>& args);

inline constexpr const char* ImageToolUsage =
    "usage: qor7316-make-image --variant a|b [--version 1.4a] [--size N] -o FILE\n"
    "Writes a valid QOR 7316 firmware image: the version field 24 bytes before the end\n"
    "(its fourth character is the variant letter) and the CRC-32 trailer. The size defaults\n"
    "to the variant's flash size (a: 63488, b: 129024 bytes), which makes the device's\n"
    "checksums agree after an update.\n";

} // namespace qor
