#include "firmware/Explode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Split(const std::string& text, const std::string& delimiter, bool trim) {
    std::vector<std::string> pieces;
    Explode(text, delimiter, &pieces, trim);
    return pieces;
}

TEST(Explode, AdjacentDelimitersGiveAnEmptyPieceButATrailingOneGivesNone) {
    EXPECT_THAT(Split("a,,b,", ",", false), ElementsAre("a", "", "b"));
    EXPECT_THAT(Split(",a", ",", false), ElementsAre("", "a"));
    EXPECT_THAT(Split(",", ",", false), ElementsAre(""));
}

TEST(Explode, TrimCutsTheRemainderNeverThePiece) {
    EXPECT_THAT(Split(" x , y ", ",", true), ElementsAre("x ", "y"));
    EXPECT_THAT(Split(" x , y ", ",", false), ElementsAre(" x ", " y "));
    // Control characters count as blanks; bytes above 127 do not.
    EXPECT_THAT(Split("\t\r\na\x01", ",", true), ElementsAre("a"));
    EXPECT_THAT(Split("\xA0"
                      "a\xA0",
                      ",", true),
                ElementsAre("\xA0"
                            "a\xA0"));
}

TEST(Explode, EmptyOrBlankTextAndMissingListAppendNothing) {
    EXPECT_THAT(Split("", ",", false), IsEmpty());
    EXPECT_THAT(Split("  \t ", ",", true), IsEmpty());
    Explode("a,b", ",", nullptr, true); // must not crash
}

TEST(Explode, AppendsToTheListWithoutClearingIt) {
    std::vector<std::string> pieces{"old"};
    Explode("a\\b", "\\", &pieces, true);
    EXPECT_THAT(pieces, ElementsAre("old", "a", "b"));
}

TEST(Explode, WindowsPathKeepsBlanksInsideAComponent) {
    const auto pieces = Split("C:\\fw\\new\\qor-7316 image.bin", "\\", true);
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces.back(), "qor-7316 image.bin");
    EXPECT_THAT(pieces, ElementsAre("C:", "fw", "new", "qor-7316 image.bin"));
}

TEST(Explode, LongerDelimiterSkipsOnlyItsFirstCharacter) {
    EXPECT_THAT(Split("a::b", "::", false), ElementsAre("a", ":b"));
    EXPECT_THAT(Split("a<>b<>c", "<>", false), ElementsAre("a", ">b", ">c"));
    // The text after the skipped character is trimmed again.
    EXPECT_THAT(Split("a:: b", "::", true), ElementsAre("a", ": b"));
}

TEST(Explode, EmptyDelimiterIsNeverFound) {
    EXPECT_THAT(Split(" a,b ", "", true), ElementsAre("a,b"));
}

} // namespace
} // namespace qor
