// The command lines of the small programs beside the updater (the image tool, the demo, the
// socket device): options only, each a flag or followed by its value as the next word. They
// are read in the order given, so the first wrong word is the one reported, and every program
// words an unknown option or a missing value the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace qor {

// What an option does with its value (empty for a flag); its failure ends the reading.
using TTakeValue = std::function<TResult<void>(const std::string& value)>;

// One option a program takes.
struct TOptionRule {
    std::string_view Name;
    std::string_view Alias = {}; // a second name, or empty
    // The word after the option is its value, whatever it looks like ("--size -1").
    bool TakesValue = false;
    TTakeValue Take = {};
    // Nothing after this option is read.
    bool EndsReading = false;
};

// Reads `args` in order against `rules`. Fails with `unknown option "WORD"` for a word no rule
// names (operands and "--name=value" included), with `OPTION needs a value` for an option that
// takes one but ends the line, or with the first failure of a rule's Take.
TResult<void> ReadArguments(std::span<const std::string> args, std::span<const TOptionRule> rules);

// -h and --help: sets `help` and ends the reading, so help is shown even when words after it
// are wrong.
TOptionRule HelpOption(bool& help);
// An option without a value that sets `flag` to `to`.
TOptionRule FlagOption(std::string_view name, bool& flag, bool to = true);
// An option followed by its value, which `take` checks and keeps.
TOptionRule ValueOption(std::string_view name, TTakeValue take);
// An option whose value is kept as it is given.
TOptionRule TextOption(std::string_view name, std::string& value);

// The refusal of an option's value: `--size is a number of bytes, not "12k"`.
TError WrongValue(std::string_view option, std::string_view expected, const std::string& value);

// `text` as a whole number from 0 to `max`: decimal digits only, no sign, blank or base
// prefix; none for anything else.
std::optional<std::uint64_t> WholeNumber(std::string_view text, std::uint64_t max);

} // namespace qor
