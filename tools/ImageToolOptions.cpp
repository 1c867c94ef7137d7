#include "tools/ImageToolOptions.h"

#include <charconv>

namespace qor {
namespace {

std::optional<std::size_t> ParseSize(const std::string& text) {
    std::size_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::string> ParseImageToolOptions(const std::vector<std::string>& args,
                                                 TImageToolOptions& options) {
    bool haveVariant = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.Help = true;
            return std::nullopt;
        }
        if (arg != "--variant" && arg != "--version" && arg != "--size" && arg != "-o") {
            return "unknown option \"" + arg + "\"";
        }
        if (i + 1 == args.size()) {
            return arg + " needs a value";
        }
        const std::string& value = args[++i];
        if (arg == "--variant") {
            const auto variant = VariantFromLetter(value);
            if (!variant) {
                return "--variant is a or b, not \"" + value + "\"";
            }
            options.Recipe.Variant = *variant;
            haveVariant = true;
        } else if (arg == "--version") {
            options.Recipe.Version = value;
        } else if (arg == "--size") {
            options.Recipe.Size = ParseSize(value);
            if (!options.Recipe.Size) {
                return "--size is a number of bytes, not \"" + value + "\"";
            }
        } else {
            options.Output = value;
        }
    }
    if (!haveVariant) {
        return "--variant is missing";
    }
    if (options.Output.empty()) {
        return "-o FILE is missing";
    }
    return NormaliseRecipe(options.Recipe);
}

} // namespace qor
