#include "base/ArgumentReader.h"

#include <charconv>

namespace qor {
namespace {

const TOptionRule* RuleFor(const std::string& word, std::span<const TOptionRule> rules) {
    for (const TOptionRule& rule : rules) {
        if (word == rule.Name || (!rule.Alias.empty() && word == rule.Alias)) {
            return &rule;
        }
    }
    return nullptr;
}

} // namespace

TResult<void> ReadArguments(std::span<const std::string> args, std::span<const TOptionRule> rules) {
    static const std::string NoValue;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const TOptionRule* rule = RuleFor(word, rules);
        if (rule == nullptr) {
            return Fail(TError{"unknown option \"" + word + "\""});
        }
        if (rule->TakesValue && i + 1 == args.size()) {
            return Fail(TError{word + " needs a value"});
        }
        const std::string& value = rule->TakesValue ? args[++i] : NoValue;
        if (auto taken = rule->Take(value); !taken) {
            return taken;
        }
        if (rule->EndsReading) {
            break;
        }
    }
    return {};
}

TOptionRule HelpOption(bool& help) {
    TOptionRule rule = FlagOption("--help", help);
    rule.Alias = "-h";
    rule.EndsReading = true;
    return rule;
}

TOptionRule FlagOption(std::string_view name, bool& flag, bool to) {
    return {.Name = name, .Take = [&flag, to](const std::string&) -> TResult<void> {
                flag = to;
                return {};
            }};
}

TOptionRule ValueOption(std::string_view name, TTakeValue take) {
    return {.Name = name, .TakesValue = true, .Take = std::move(take)};
}

TOptionRule TextOption(std::string_view name, std::string& value) {
    return ValueOption(name, [&value](const std::string& given) -> TResult<void> {
        value = given;
        return {};
    });
}

TError WrongValue(std::string_view option, std::string_view expected, const std::string& value) {
    return {std::string(option) + " is " + std::string(expected) + ", not \"" + value + "\""};
}

std::optional<std::uint64_t> WholeNumber(std::string_view text, std::uint64_t max) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end || value > max) {
        return std::nullopt;
    }
    return value;
}

} // namespace qor
