// The reader's own rules, beyond what the programs' parsers show: what ends the reading, which
// words are no options, and which texts are whole numbers.
#include "base/ArgumentReader.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct TReadCase {
    const char* Name;
    std::vector<std::string> Args;
    // What the rules took, in order, or "fails: " and the reason.
    std::string Outcome;
};

// Named in the test's name already.
void PrintTo(const TReadCase& c, std::ostream* out) {
    *out << c.Name;
}

class ArgumentReaderRule : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ArgumentReaderRule, ReadsTheWordsInOrder) {
    const TReadCase& c = GetParam();
    std::string taken;
    bool help = false;
    bool quiet = false;
    const TOptionRule rules[] = {
        HelpOption(help),
        FlagOption("--quiet", quiet),
        ValueOption("--count",
                    [&taken](const std::string& value) -> TResult<void> {
                        const auto count = WholeNumber(value, 200);
                        if (!count) {
                            return Fail(WrongValue("--count", "0 to 200", value));
                        }
                        taken += "count " + std::to_string(*count) + ";";
                        return {};
                    }),
    };
    const auto read = ReadArguments(c.Args, rules);
    const std::string flags = std::string(help ? "help;" : "") + (quiet ? "quiet;" : "");
    EXPECT_EQ(read ? flags + taken : "fails: " + read.Error().Reason, c.Outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentReaderRule,
    ::testing::Values(
        TReadCase{"Nothing", {}, ""},
        TReadCase{"HelpEndsTheReading", {"--help", "--count", "x", "file.bin"}, "help;"},
        TReadCase{"ShortHelpToo", {"-h", "--nonsense"}, "help;"},
        TReadCase{"AWrongWordBeforeHelpFails",
                  {"--count", "x", "--help"},
                  "fails: --count is 0 to 200, not \"x\""},
        TReadCase{"TheLastOfARepeatedOptionCounts",
                  {"--count", "1", "--quiet", "--count", "2"},
                  "quiet;count 1;count 2;"},
        TReadCase{"AnOperandIsNoOption", {"file.bin"}, "fails: unknown option \"file.bin\""},
        TReadCase{"AValueGoesAfterABlank", {"--count=5"}, "fails: unknown option \"--count=5\""},
        TReadCase{"DoubleDashIsNoMarker", {"--", "--quiet"}, "fails: unknown option \"--\""},
        TReadCase{"AFlagTakesNoValue", {"--quiet", "1"}, "fails: unknown option \"1\""},
        TReadCase{"TheLargestNumber", {"--count", "200"}, "count 200;"},
        TReadCase{"LeadingZeros", {"--count", "007"}, "count 7;"},
        TReadCase{"AboveTheLargest", {"--count", "201"}, "fails: --count is 0 to 200, not \"201\""},
        TReadCase{"APlusSign", {"--count", "+5"}, "fails: --count is 0 to 200, not \"+5\""},
        TReadCase{"ABlank", {"--count", " 5"}, "fails: --count is 0 to 200, not \" 5\""},
        TReadCase{"AHexNumber", {"--count", "0x10"}, "fails: --count is 0 to 200, not \"0x10\""},
        TReadCase{"BeyondSixtyFourBits",
                  {"--count", "18446744073709551616"},
                  "fails: --count is 0 to 200, not \"18446744073709551616\""}),
    [](const ::testing::TestParamInfo<TReadCase>& info) { return info.param.Name; });

} // namespace
} // namespace qor
