// The text of one registry key in Windows .reg export format, written and read without losing
// any type or byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

#include "settings/RegistryStore.h"

namespace qor {

// One value of a key, its name spelt as it was first stored.
struct TRegEntry {
    std::string Name;
    TRegValue Value;
    bool operator==(const TRegEntry&) const = default;
};
using TRegEntries = std::vector<TRegEntry>;

// Key and value names compare as the registry compares them: ASCII letters without regard
// to case, every other byte as it is.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

// The entry whose name is EqualNoCase to `name`; nullptr when there is none.
const TRegEntry* FindEntry(const TRegEntries& entries, const std::string& name);
// Replaces the value of that name in place (keeping its spelling) or appends it.
void PutEntry(TRegEntries& entries, const std::string& name, const TRegValue& value);

// Whether a value name can stand in a .reg file: no zero byte and no line break.
bool IsStorableName(const std::string& name);

// The whole file for `keyPath` below HKEY_CURRENT_USER, lines ending in LF.
std::string FormatRegFile(const std::string& keyPath, const TRegEntries& entries);

// The values from a .reg text that holds `keyPath` and nothing else. Accepts what regedit and
// hand editing produce: a UTF-8 byte order mark, CRLF, blank lines, ';' comments, hex lists
// wrapped with a trailing backslash, deletions ("Name"=-). A text with nothing in it is an
// empty key. Anything else fails with its line and the reason.
TResult<TRegEntries> ParseRegFile(std::string_view text, const std::string& keyPath);

} // namespace qor
