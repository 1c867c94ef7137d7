#include "settings/RegFileFormat.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <unordered_map>

namespace qor {
namespace {

constexpr std::string_view FileHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view HiveName = "HKEY_CURRENT_USER";
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view DwordPrefix = "dword:";
constexpr std::string_view HexPrefix = "hex";
constexpr char DefaultValueName = '@';
constexpr char CommentMark = ';';
constexpr char Continuation = '\\';
// regedit wraps hex lists so that no line is longer than this, the backslash included.
constexpr std::size_t WrapColumn = 80;
constexpr std::size_t ContinuationIndent = 2;
constexpr std::size_t MaxHexDigitsOfNumber = 8;

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = LowerAscii(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// 1 to `maxDigits` hex digits and nothing else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view s, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (char c : s) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        number = (number << 4) | static_cast<std::uint32_t>(digit);
    }
    return number;
}

// Well-formed UTF-8 without control characters other than tab: what a text editor shows
// faithfully between quotes.
bool IsPlainText(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\t') || lead == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (bytes[i + k] & 0x3Fu);
        }
        static constexpr std::uint32_t MinCode[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < MinCode[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// REG_SZ data that is text plus exactly one terminating zero can be written between quotes.
bool FitsQuotedString(const TRegValue& value) {
    if (value.Type != RegType::Sz || value.Data.empty() || value.Data.back() != 0) {
        return false;
    }
    return IsPlainText(std::span(value.Data).first(value.Data.size() - 1));
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void AppendHexList(std::string& out, std::size_t column, const std::vector<std::uint8_t>& data) {
    static constexpr char Digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool last = i + 1 == data.size();
        const std::size_t width = last ? 2 : 3; // "xx" or "xx,"
        if (column + width + 1 > WrapColumn) {
            out += Continuation;
            out += '\n';
            out.append(ContinuationIndent, ' ');
            column = ContinuationIndent;
        }
        out += Digits[data[i] >> 4];
        out += Digits[data[i] & 0xF];
        if (!last) {
            out += ',';
        }
        column += width;
    }
}

void AppendValueLine(std::string& out, const TRegEntry& entry) {
    const std::size_t lineStart = out.size();
    if (entry.Name.empty()) {
        out += DefaultValueName;
    } else {
        AppendQuoted(out, entry.Name);
    }
    out += '=';
    const TRegValue& value = entry.Value;
    if (value.Type == RegType::Dword && value.Data.size() == DwordSize) {
        char digits[9] = {};
        std::snprintf(digits, sizeof digits, "%08x", DwordNumber(value.Data));
        out += DwordPrefix;
        out += digits;
    } else if (FitsQuotedString(value)) {
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.Data.data()),
                                           value.Data.size() - 1));
    } else {
        out += HexPrefix;
        if (value.Type != RegType::Binary) {
            char type[12] = {};
            std::snprintf(type, sizeof type, "(%x)", value.Type);
            out += type;
        }
        out += ':';
        AppendHexList(out, out.size() - lineStart, value.Data);
    }
    out += '\n';
}

// A text between quotes and what follows the closing one on its line.
struct TQuoted {
    std::string Text;
    std::string_view Rest;
};

// Reads the text between quotes starting at s[0] == '"'.
TResult<TQuoted> ReadQuoted(std::string_view s) {
    std::string text;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '"') {
            return TQuoted{std::move(text), s.substr(i + 1)};
        }
        if (s[i] == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
                return Fail(TError{"a backslash that escapes neither '\\' nor '\"'"});
            }
            ++i;
        }
        text += s[i];
    }
    return Fail(TError{"a quotation mark is not closed"});
}

// Splits the text into lines without their CR, keeping track of line numbers.
class TLineReader {
public:
    explicit TLineReader(std::string_view text) : Rest(text) {}
    // The next line; none at the end of the text.
    std::optional<std::string_view> Next() {
        if (Rest.empty()) {
            return std::nullopt;
        }
        const std::size_t end = Rest.find('\n');
        std::string_view line = Rest.substr(0, end);
        Rest = end == std::string_view::npos ? std::string_view() : Rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ++Number;
        return line;
    }
    std::size_t LineNumber() const { return Number; }

private:
    std::string_view Rest;
    std::size_t Number = 0;
};

// The bytes of a hex list, following trailing backslashes onto the next lines.
TResult<std::vector<std::uint8_t>> ReadHexList(std::string_view first, TLineReader& lines) {
    std::string joined;
    std::string_view part = TrimRight(first);
    while (!part.empty() && part.back() == Continuation) {
        joined += part.substr(0, part.size() - 1);
        const auto next = lines.Next();
        if (!next) {
            return Fail(TError{"a wrapped hex list ends with the file"});
        }
        part = TrimRight(TrimLeft(*next));
    }
    joined += part;

    std::vector<std::uint8_t> bytes;
    std::string_view list = TrimLeft(joined);
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view token = TrimRight(TrimLeft(list.substr(0, comma)));
        const auto byte = ParseHexNumber(token, 2);
        if (!byte) {
            return Fail(TError{"not a hex byte: '" + std::string(token) + "'"});
        }
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos) {
            break;
        }
        list = TrimLeft(list.substr(comma + 1)); // a comma after the last byte is tolerated
    }
    return bytes;
}

// The data after '=' of one value line; none for a line that deletes the value.
TResult<std::optional<TRegValue>> ReadData(std::string_view data, TLineReader& lines) {
    data = TrimLeft(data);
    if (TrimRight(data) == "-") {
        return std::optional<TRegValue>();
    }
    if (!data.empty() && data.front() == '"') {
        const auto quoted = ReadQuoted(data);
        if (!quoted) {
            return Fail(quoted.Error());
        }
        if (!TrimRight(quoted->Rest).empty()) {
            return Fail(TError{"text after the closing quotation mark"});
        }
        return std::optional(SzValue(quoted->Text));
    }
    if (StartsNoCase(data, DwordPrefix)) {
        const auto number =
            ParseHexNumber(TrimRight(data.substr(DwordPrefix.size())), MaxHexDigitsOfNumber);
        if (!number) {
            return Fail(TError{"a dword needs 1 to 8 hex digits"});
        }
        return std::optional(DwordValue(*number));
    }
    if (StartsNoCase(data, HexPrefix)) {
        data.remove_prefix(HexPrefix.size());
        std::uint32_t type = RegType::Binary;
        if (!data.empty() && data.front() == '(') {
            const std::size_t close = data.find(')');
            const auto number =
                close == std::string_view::npos
                    ? std::nullopt
                    : ParseHexNumber(data.substr(1, close - 1), MaxHexDigitsOfNumber);
            if (!number) {
                return Fail(TError{"hex(N) needs a type number of 1 to 8 hex digits"});
            }
            type = *number;
            data.remove_prefix(close + 1);
        }
        if (data.empty() || data.front() != ':') {
            return Fail(TError{"':' missing after hex"});
        }
        auto bytes = ReadHexList(data.substr(1), lines);
        if (!bytes) {
            return Fail(bytes.Error());
        }
        return std::optional(TRegValue{type, std::move(*bytes)});
    }
    return Fail(TError{"unknown kind of data"});
}

// Matches the entries that `name` names; `name` must outlive the predicate.
auto NamedAs(const std::string& name) {
    return [&name](const TRegEntry& e) {
        return EqualNoCase(e.Name, name);
    };
}

// The values met so far while reading a file, found by name in constant time: a store with many
// names must not cost a search of all earlier ones per line. Deleted names leave a gap that
// Take() closes, so the file's order survives.
class TEntryIndex {
public:
    void Put(std::string name, TRegValue value) {
        const auto [it, added] = Slots.try_emplace(LowerAscii(name), Entries.size());
        if (added) {
            Entries.push_back(TRegEntry{std::move(name), std::move(value)});
            Live.push_back(true);
        } else {
            Entries[it->second].Value = std::move(value);
        }
    }
    void Erase(const std::string& name) {
        const auto it = Slots.find(LowerAscii(name));
        if (it != Slots.end()) {
            Live[it->second] = false;
            Slots.erase(it);
        }
    }
    TRegEntries Take() {
        TRegEntries kept;
        kept.reserve(Slots.size());
        for (std::size_t i = 0; i < Entries.size(); ++i) {
            if (Live[i]) {
                kept.push_back(std::move(Entries[i]));
            }
        }
        return kept;
    }

private:
    TRegEntries Entries;
    std::vector<bool> Live;
    std::unordered_map<std::string, std::size_t> Slots; // lower-case name -> index in Entries
};

// One value line after the key's line: its name, then its data; a deletion removes it.
TResult<void> ReadValueLine(std::string_view line, TLineReader& lines, TEntryIndex& entries) {
    std::string name;
    std::string_view rest;
    if (line.front() == DefaultValueName) {
        rest = line.substr(1);
    } else if (line.front() == '"') {
        auto quoted = ReadQuoted(line);
        if (!quoted) {
            return Fail(quoted.Error());
        }
        name = std::move(quoted->Text);
        rest = quoted->Rest;
    } else {
        return Fail(TError{"a value name in quotation marks or '@' expected"});
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') {
        return Fail(TError{"'=' expected after the value name"});
    }
    auto value = ReadData(rest.substr(1), lines);
    if (!value) {
        return Fail(value.Error());
    }
    if (!*value) {
        entries.Erase(name);
    } else {
        // A later line for the same name wins, as on import; the first spelling stays.
        entries.Put(std::move(name), std::move(**value));
    }
    return {};
}

} // namespace

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

const TRegEntry* FindEntry(const TRegEntries& entries, const std::string& name) {
    const auto it = std::find_if(entries.begin(), entries.end(), NamedAs(name));
    return it == entries.end() ? nullptr : &*it;
}

void PutEntry(TRegEntries& entries, const std::string& name, const TRegValue& value) {
    const auto it = std::find_if(entries.begin(), entries.end(), NamedAs(name));
    if (it == entries.end()) {
        entries.push_back({name, value});
    } else {
        it->Value = value;
    }
}

bool IsStorableName(const std::string& name) {
    return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos;
}

std::string FormatRegFile(const std::string& keyPath, const TRegEntries& entries) {
    std::string out;
    out += FileHeader;
    out += "\n\n[";
    out += HiveName;
    out += '\\';
    out += keyPath;
    out += "]\n";
    for (const TRegEntry& entry : entries) {
        AppendValueLine(out, entry);
    }
    out += '\n';
    return out;
}

TResult<TRegEntries> ParseRegFile(std::string_view text, const std::string& keyPath) {
    if (text.starts_with(Utf8Bom)) {
        text.remove_prefix(Utf8Bom.size());
    }
    const std::string section = std::string(HiveName) + '\\' + keyPath;
    TLineReader lines(text);
    TEntryIndex entries;
    bool headerSeen = false;
    bool sectionSeen = false;
    const auto fail = [&lines](const std::string& reason) {
        return Fail(TError{"line " + std::to_string(lines.LineNumber()) + ": " + reason});
    };
    while (const auto next = lines.Next()) {
        const std::string_view line = TrimRight(TrimLeft(*next));
        if (line.empty() || line.front() == CommentMark) {
            continue;
        }
        if (!headerSeen) {
            if (line != FileHeader) {
                return fail("not a registry file (\"" + std::string(FileHeader) + "\" expected)");
            }
            headerSeen = true;
        } else if (line.front() == '[') {
            if (sectionSeen) {
                return fail("a second key; the file holds one key only");
            }
            if (line.back() != ']' || !EqualNoCase(line.substr(1, line.size() - 2), section)) {
                return fail("the key [" + section + "] expected");
            }
            sectionSeen = true;
        } else if (!sectionSeen) {
            return fail("a value before the key's line");
        } else if (auto read = ReadValueLine(line, lines, entries); !read) {
            return fail(read.Error().Reason);
        }
    }
    return entries.Take(); // a header without the key's line is a key without values
}

} // namespace qor
