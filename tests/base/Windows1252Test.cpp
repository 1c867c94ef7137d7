#include "base/Windows1252.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(Windows1252, AsciiStaysAsItIs) {
    EXPECT_EQ(Windows1252ToUtf8("102a"), "102a");
    EXPECT_EQ(Windows1252ToUtf8(""), "");
}

TEST(Windows1252, LatinOneBytesBecomeTwoByteSequences) {
    EXPECT_EQ(Windows1252ToUtf8("\xFC\xE9"), "\xC3\xBC\xC3\xA9"); // ü é
    EXPECT_EQ(Windows1252ToUtf8("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
}

TEST(Windows1252, TheBytesOfTheCodePagesOwnBlockMapToTheirCharacters) {
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Windows1252ToUtf8("\x9F"), "\xC5\xB8");     // Y with diaeresis
    EXPECT_EQ(Windows1252ToUtf8("\x99"), "\xE2\x84\xA2"); // trade mark
    // Undefined bytes keep their number as a control character.
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(Windows1252ToUtf8("\x9D"), "\xC2\x9D");
}

TEST(Windows1252, ZeroBytesAreKept) {
    const std::string raw("1\0"
                          "2a",
                          4);
    EXPECT_EQ(Windows1252ToUtf8(raw), raw);
}

} // namespace
} // namespace qor
