// Texts at the Windows boundary. Inside, every text is UTF-8; the system's wide calls take
// UTF-16, and the few stores that other programs read as 8-bit text hold the ANSI code page.
// Every back-end converts here and nowhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/SecretBytes.h"

namespace qor::win {

// A byte that is not UTF-8 becomes U+FFFD; zero characters are kept.
std::wstring Widen(std::string_view utf8);
// A lone surrogate becomes U+FFFD; zero characters are kept.
std::string Narrow(std::wstring_view wide);

// The text in the system's ANSI code page; nullopt when a character has no place in it
// (a stand-in character would change the text).
std::optional<std::string> ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);

// Whether the bytes are UTF-8 throughout (an empty text is).
bool IsUtf8(std::span<const std::uint8_t> bytes);

// The same for secrets: the results, and every copy made on the way, are wiped when they go.
// UTF-16 in its bytes with a terminating zero character, for a call that takes a wide text.
TSecretBytes WidenSecret(std::span<const std::uint8_t> utf8);
std::optional<TSecretBytes> SecretToAnsi(std::span<const std::uint8_t> utf8);
TSecretBytes SecretFromAnsi(std::span<const std::uint8_t> ansi);

} // namespace qor::win
