#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "qortest/RegValues.h"
#include "settings/RegFileFormat.h"

using namespace qor;
using qor::test::TextValue;

namespace {

constexpr const char* Key = "Software\\zentrova GmbH\\Test";

TRegValue Bytes(std::uint32_t type, std::vector<std::uint8_t> data) {
    return {type, std::move(data)};
}

// The value lines of a formatted file: everything after the key's line, blank lines dropped.
std::vector<std::string> ValueLines(const std::string& file) {
    std::vector<std::string> lines;
    std::istringstream in(file);
    std::string line;
    for (int i = 0; std::getline(in, line); ++i) {
        if (i >= 3 && !line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

TRegEntries Parse(const std::string& text) {
    auto entries = ParseRegFile(text, Key);
    EXPECT_TRUE(entries.Ok()) << entries.Error().Reason;
    return entries ? *entries : TRegEntries{};
}

} // namespace

TEST(RegFileFormatTest, EachValueTakesTheRegeditFormThatHoldsItExactly) {
    const TRegEntries entries = {
        {"Dword", Bytes(RegType::Dword, {0x2a, 0, 0, 0x80})},
        {"Text", TextValue("a\\b\"c Grüße\t!")},
        {"EmptyText", TextValue("")},
        {"Bin", Bytes(RegType::Binary, {0x00, 0xff, 0x10})},
        {"EmptyBin", Bytes(RegType::Binary, {})},
        {"EmptyDword", Bytes(RegType::Dword, {})},
        {"LongDword", Bytes(RegType::Dword, {1, 2, 3, 4, 5, 6, 7, 8})},
        {"ZeroInside", Bytes(RegType::Sz, {'a', 0, 'b', 0})},
        {"NoTerminator", Bytes(RegType::Sz, {'a', 'b'})},
        {"TwoTerminators", Bytes(RegType::Sz, {'a', 0, 0})},
        {"EmptySz", Bytes(RegType::Sz, {})},
        {"LineBreak", TextValue("a\nb")},
        {"NotUtf8", TextValue("\xe4")},
        {"Expand", TextValue("%T%", RegType::ExpandSz)},
        {"None", Bytes(RegType::None, {})},
        {"Odd", Bytes(0x12345678, {9})},
        {"", TextValue("default")},
    };
    const std::string file = FormatRegFile(Key, entries);
    EXPECT_TRUE(file.starts_with("Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\zentrova GmbH\\Test]\n"));
    EXPECT_TRUE(file.ends_with("\n\n"));
    const std::vector<std::string> expected = {
        "\"Dword\"=dword:8000002a",
        "\"Text\"=\"a\\\\b\\\"c Grüße\t!\"",
        "\"EmptyText\"=\"\"",
        "\"Bin\"=hex:00,ff,10",
        "\"EmptyBin\"=hex:",
        "\"EmptyDword\"=hex(4):",
        "\"LongDword\"=hex(4):01,02,03,04,05,06,07,08",
        "\"ZeroInside\"=hex(1):61,00,62,00",
        "\"NoTerminator\"=hex(1):61,62",
        "\"TwoTerminators\"=hex(1):61,00,00",
        "\"EmptySz\"=hex(1):",
        "\"LineBreak\"=hex(1):61,0a,62,00",
        "\"NotUtf8\"=hex(1):e4,00",
        "\"Expand\"=hex(2):25,54,25,00",
        "\"None\"=hex(0):",
        "\"Odd\"=hex(12345678):09",
        "@=\"default\"",
    };
    EXPECT_EQ(ValueLines(file), expected);
    EXPECT_EQ(Parse(file), entries);
}

TEST(RegFileFormatTest, LongHexListsWrapLikeRegeditAndReadBack) {
    std::vector<std::uint8_t> data(4097);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    const TRegEntries entries = {{"ProxyPassword", Bytes(RegType::Binary, data)},
                                 {"Multi", Bytes(7, data)}};
    const std::string file = FormatRegFile(Key, entries);
    const std::vector<std::string> lines = ValueLines(file);
    ASSERT_GT(lines.size(), 2u * 4097 / 26);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80u) << i;
        const bool continued = lines[i].ends_with(",\\");
        const bool lastOfValue = i + 1 == lines.size() || lines[i + 1].front() == '"';
        EXPECT_EQ(continued, !lastOfValue) << lines[i];
        if (i > 0 && lines[i].front() != '"') {
            EXPECT_TRUE(lines[i].starts_with("  ") && lines[i][2] != ' ') << lines[i];
        }
    }
    EXPECT_EQ(Parse(file), entries);
}

TEST(RegFileFormatTest, ReadsAHandWrittenRegeditFile) {
    const std::string file = "\xEF\xBB\xBF"
                             "Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "; written by hand\r\n"
                             "[hkey_current_user\\SOFTWARE\\zentrova gmbh\\test]\r\n"
                             "  \"Language\" = dword:2\r\n"
                             "\"UseProxy\"=DWORD:0000000A\r\n"
                             "\"ProxyPort\"=DWord:1f90\r\n"
                             "\r\n"
                             "\t; another comment\r\n"
                             "\"ProxyPassword\"=hex:01,02,\\\r\n"
                             "        0A,0b,\\\r\n"
                             "\t FF\r\n"
                             "\"Multi\"=HEX(7):41,00,\\\r\n"
                             "  00\r\n"
                             "\"Trailing\"=hex:01,02,\r\n"
                             "\"proxyuser\"=\"old\"\r\n"
                             "\"ProxyUser\"=\"tech\"\r\n"
                             "\"Gone\"=dword:00000001\r\n"
                             "\"GONE\"=-\r\n"
                             "@=\"\"\r\n";
    const TRegEntries expected = {
        {"Language", Bytes(RegType::Dword, {2, 0, 0, 0})},
        {"UseProxy", Bytes(RegType::Dword, {10, 0, 0, 0})},
        {"ProxyPort", Bytes(RegType::Dword, {0x90, 0x1f, 0, 0})},
        {"ProxyPassword", Bytes(RegType::Binary, {1, 2, 0x0a, 0x0b, 0xff})},
        {"Multi", Bytes(7, {0x41, 0, 0})},
        {"Trailing", Bytes(RegType::Binary, {1, 2})},
        {"proxyuser", TextValue("tech")}, // the later line wins, the first spelling stays
        {"", TextValue("")},
    };
    EXPECT_EQ(Parse(file), expected);
}

TEST(RegFileFormatTest, TextWithoutValuesIsAnEmptyKey) {
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse("\xEF\xBB\xBF \r\n\n; nothing\n").empty());
    EXPECT_TRUE(Parse("Windows Registry Editor Version 5.00\n").empty());
    EXPECT_TRUE(Parse(FormatRegFile(Key, {})).empty());
}

TEST(RegFileFormatTest, AnythingElseIsRejectedWithTheLine) {
    const std::string head =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\" + std::string(Key) + "]\n";
    struct Case {
        std::string Text;
        const char* Line;
    } cases[] = {
        {"REGEDIT4\n", "line 1:"},
        {std::string("\xFF\xFEW\0i\0", 6), "line 1:"}, // UTF-16
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Other]\n", "line 2:"},
        {"Windows Registry Editor Version 5.00\n\"A\"=dword:1\n", "line 2:"},
        {head + "[HKEY_CURRENT_USER\\" + std::string(Key) + "]\n", "line 3:"},
        {head + "[-HKEY_CURRENT_USER\\" + std::string(Key) + "]\n", "line 3:"},
        {head + "A=dword:1\n", "line 3:"},
        {head + "\"A\"dword:1\n", "line 3:"},
        {head + "\"A\"=\"x\\ny\"\n", "line 3:"},
        {head + "\"A\"=\"open\n", "line 3:"},
        {head + "\"A\"=\"x\" y\n", "line 3:"},
        {head + "\"A\"=dword:123456789\n", "line 3:"},
        {head + "\"A\"=dword:\n", "line 3:"},
        {head + "\"A\"=dword:0x1\n", "line 3:"},
        {head + "\"A\"=hex:0g\n", "line 3:"},
        {head + "\"A\"=hex:123\n", "line 3:"},
        {head + "\"A\"=hex:01,,02\n", "line 3:"},
        {head + "\"A\"=hex(zz):01\n", "line 3:"},
        {head + "\"A\"=hex(123456789):01\n", "line 3:"},
        {head + "\"A\"=hex(1:01\n", "line 3:"},
        {head + "\"A\"=hex;01\n", "line 3:"},
        {head + "\"A\"=hex:01,\\\n  02,\\\n", "line 4:"},
        {head + "\"A\"=qword:1\n", "line 3:"},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseRegFile(c.Text, Key);
        ASSERT_FALSE(parsed.Ok()) << c.Text;
        EXPECT_TRUE(parsed.Error().Reason.starts_with(c.Line))
            << c.Text << " -> " << parsed.Error().Reason;
    }
}

TEST(RegFileFormatTest, AnyValueSurvivesWritingAndReading) {
    std::mt19937 random(7316);
    const std::uint32_t types[] = {0, 1, 2, 3, 4, 7, 11, 0xffffffff};
    TRegEntries entries;
    for (int i = 0; i < 400; ++i) {
        std::vector<std::uint8_t> data(random() % 300);
        for (auto& b : data) {
            // Mostly printable, so that many texts qualify for the quoted form.
            b = random() % 4 == 0 ? static_cast<std::uint8_t>(random())
                                  : static_cast<std::uint8_t>(' ' + random() % 95);
        }
        if (random() % 2 == 0) {
            data.push_back(0);
        }
        std::string name = "v" + std::to_string(i);
        name += static_cast<char>(' ' + random() % 95); // quotes and backslashes included
        entries.push_back({name, {types[random() % std::size(types)], data}});
    }
    EXPECT_EQ(Parse(FormatRegFile(Key, entries)), entries);
}

TEST(RegFileFormatTest, NamesMatchWithoutRegardToAsciiCase) {
    TRegEntries entries;
    PutEntry(entries, "ProxyPort", Bytes(RegType::Dword, {1, 0, 0, 0}));
    PutEntry(entries, "PROXYPORT", Bytes(RegType::Dword, {2, 0, 0, 0}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, "ProxyPort");
    EXPECT_EQ(entries[0].Value.Data[0], 2);
    ASSERT_NE(FindEntry(entries, "proxyport"), nullptr);
    EXPECT_EQ(FindEntry(entries, "proxyport2"), nullptr);
    PutEntry(entries, "Ä", {});
    EXPECT_EQ(FindEntry(entries, "ä"), nullptr); // only ASCII letters fold

    EXPECT_TRUE(IsStorableName("any \"name\" \\ here"));
    EXPECT_FALSE(IsStorableName(std::string("a\0b", 3)));
    EXPECT_FALSE(IsStorableName("a\nb"));
    EXPECT_FALSE(IsStorableName("a\rb"));
}
