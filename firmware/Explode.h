// Splits a text at a delimiter; used to take the file name off a path.
#pragma once

#include <string>
#include <vector>

namespace qor {

// Appends the pieces of `text` between occurrences of `delimiter` to `list` (never clears it;
// nullptr does nothing). Adjacent delimiters give an empty piece, a leading one an empty first
// piece, a trailing one no empty last piece. With `trim`, characters of code 32 or less are
// removed from both ends of the text and of each remainder, never from a piece itself. After a
// found delimiter the remainder starts one character past the delimiter's first character, so
// a longer delimiter only loses its first character.
void Explode(const std::string& text, const std::string& delimiter, std::vector<std::string>* list,
             bool trim);

} // namespace qor
