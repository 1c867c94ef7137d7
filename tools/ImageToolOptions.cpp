#include "tools/ImageToolOptions.h"

#include <limits>

#include "base/ArgumentReader.h"

namespace qor {

TResult<TImageToolOptions> ParseImageToolOptions(const std::vector<std::string>& args) {
    TImageToolOptions options;
    bool haveVariant = false;
    const TOptionRule rules[] = {
        HelpOption(options.Help),
        ValueOption("--variant",
                    [&](const std::string& value) -> TResult<void> {
                        const auto variant = VariantFromLetter(value);
                        if (!variant) {
                            return Fail(WrongValue("--variant", "a or b", value));
                        }
                        options.Recipe.Variant = *variant;
                        haveVariant = true;
                        return {};
                    }),
        TextOption("--version", options.Recipe.Version),
        ValueOption("--size",
                    [&](const std::string& value) -> TResult<void> {
                        options.Recipe.Size =
                            WholeNumber(value, std::numeric_limits<std::size_t>::max());
                        if (!options.Recipe.Size) {
                            return Fail(WrongValue("--size", "a number of bytes", value));
                        }
                        return {};
                    }),
        TextOption("-o", options.Output),
    };
    if (const auto read = ReadArguments(args, rules); !read) {
        return Fail(read.Error());
    }
    if (options.Help) {
        return options;
    }
    if (!haveVariant) {
        return Fail(TError{"--variant is missing"});
    }
    if (options.Output.empty()) {
        return Fail(TError{"-o FILE is missing"});
    }
    auto recipe = NormaliseRecipe(std::move(options.Recipe));
    if (!recipe) {
        return Fail(recipe.Error());
    }
    options.Recipe = std::move(*recipe);
    return options;
}

} // namespace qor
