// Texts that come from a file or the device are single-byte Windows-1252; the window shows
// UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// Each byte becomes its Windows-1252 character in UTF-8. The five bytes that code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number,
// as Windows itself maps them, so no byte is lost.
std::string Windows1252ToUtf8(std::string_view text);

} // namespace qor
