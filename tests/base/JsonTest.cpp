#include "base/Json.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(Json, StringsAreEscapedAndAlwaysValidUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonString("line\nnext\ttab\x01"), R"("line\nnext\ttab\u0001")");
    EXPECT_EQ(JsonString("Prüfsumme"), "\"Prüfsumme\"");
    // A Windows-1252 byte in a file name, a truncated sequence and an overlong one.
    EXPECT_EQ(JsonString("f\xFCr"), "\"f\xEF\xBF\xBDr\"");
    EXPECT_EQ(JsonString("end\xC3"), "\"end\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");

    TJsonObject object;
    object.Add("n", 5).Add("ok", true).AddNull("none");
    TJsonObject more;
    more.Add("s", "x").Add("n", 6);
    // A key that is here already keeps its place and value.
    EXPECT_EQ(object.Merge(more).Text(), R"({"n":5,"ok":true,"none":null,"s":"x"})");
}

} // namespace
} // namespace qor
