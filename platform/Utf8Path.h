// std::filesystem's paths to and from the program's UTF-8 texts. A path made from a plain
// string takes it in the ANSI code page on Windows, which may not hold every character.
#pragma once

#include <filesystem>
#include <string>

namespace qor {

inline std::filesystem::path PathOfUtf8(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

inline std::string Utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace qor
