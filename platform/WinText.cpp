#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

#include "base/Result.h"

namespace qor::win {
namespace {

static_assert(sizeof(wchar_t) == 2, "Windows' wide characters are UTF-16 units");

// Longer texts than an int counts are cut there; nothing the program handles comes close.
int Length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

// `text` in `codePage` as UTF-16, in a plain string or a secret's buffer.
template <typename TOut>
TOut ToWide(UINT codePage, const char* text, std::size_t size, std::size_t extra = 0) {
    TOut out;
    const int count =
        size == 0 ? 0 : ::MultiByteToWideChar(codePage, 0, text, Length(size), nullptr, 0);
    out.Resize((static_cast<std::size_t>(count) + extra) * sizeof(wchar_t));
    if (count > 0) {
        ::MultiByteToWideChar(codePage, 0, text, Length(size), out.Wide(), count);
    }
    return out;
}

// UTF-16 in `codePage`; fails when a character has no place there and would become a stand-in.
template <typename TOut>
TResult<TOut> FromWide(UINT codePage, const wchar_t* wide, std::size_t count) {
    // UTF-8, also as a system's ANSI code page, holds every character and takes neither the
    // flag nor the replacement mark.
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ::GetACP() == CP_UTF8);
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL replaced = FALSE;
    BOOL* mark = utf8 ? nullptr : &replaced;
    const int size = count == 0 ? 0
                                : ::WideCharToMultiByte(codePage, flags, wide, Length(count),
                                                        nullptr, 0, nullptr, mark);
    TOut out;
    out.Resize(static_cast<std::size_t>(size));
    if (size > 0) {
        ::WideCharToMultiByte(codePage, flags, wide, Length(count), out.Chars(), size, nullptr,
                              mark);
    }
    if (replaced != FALSE) {
        return Fail(TError{"the text holds a character that code page " + std::to_string(codePage) +
                           " cannot hold"});
    }
    return out;
}

// UTF-8 holds every character (a lone surrogate becomes U+FFFD), so this cannot fail.
template <typename TOut> TOut ToUtf8(const wchar_t* wide, std::size_t count) {
    return FromWide<TOut>(CP_UTF8, wide, count).Value();
}

// A plain string and a secret behind the same few operations.
struct TPlainWide {
    std::wstring Text;
    void Resize(std::size_t bytes) { Text.resize(bytes / sizeof(wchar_t)); }
    wchar_t* Wide() { return Text.data(); }
};
struct TPlainChars {
    std::string Text;
    void Resize(std::size_t bytes) { Text.resize(bytes); }
    char* Chars() { return Text.data(); }
};
struct TSecret {
    TSecretBytes Bytes;
    void Resize(std::size_t bytes) { Bytes.Resize(bytes); }
    wchar_t* Wide() { return reinterpret_cast<wchar_t*>(Bytes.Data()); }
    char* Chars() { return reinterpret_cast<char*>(Bytes.Data()); }
    std::size_t WideCount() const { return Bytes.Size() / sizeof(wchar_t); }
    const wchar_t* WideData() const { return reinterpret_cast<const wchar_t*>(Bytes.Data()); }
};

const char* Chars(std::span<const std::uint8_t> bytes) {
    return reinterpret_cast<const char*>(bytes.data());
}

} // namespace

std::wstring Widen(std::string_view utf8) {
    return ToWide<TPlainWide>(CP_UTF8, utf8.data(), utf8.size()).Text;
}

std::string Narrow(std::wstring_view wide) {
    return ToUtf8<TPlainChars>(wide.data(), wide.size()).Text;
}

std::optional<std::string> ToAnsi(std::string_view utf8) {
    const std::wstring wide = Widen(utf8);
    auto ansi = FromWide<TPlainChars>(CP_ACP, wide.data(), wide.size());
    if (!ansi) {
        return std::nullopt;
    }
    return std::move(ansi.Value().Text);
}

std::string FromAnsi(std::string_view ansi) {
    return Narrow(ToWide<TPlainWide>(CP_ACP, ansi.data(), ansi.size()).Text);
}

bool IsUtf8(std::span<const std::uint8_t> bytes) {
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Chars(bytes),
                                                  Length(bytes.size()), nullptr, 0) > 0;
}

TSecretBytes WidenSecret(std::span<const std::uint8_t> utf8) {
    // The zero character after the text comes with the resize.
    return ToWide<TSecret>(CP_UTF8, Chars(utf8), utf8.size(), 1).Bytes;
}

std::optional<TSecretBytes> SecretToAnsi(std::span<const std::uint8_t> utf8) {
    const auto wide = ToWide<TSecret>(CP_UTF8, Chars(utf8), utf8.size());
    auto ansi = FromWide<TSecret>(CP_ACP, wide.WideData(), wide.WideCount());
    if (!ansi) {
        return std::nullopt;
    }
    return std::move(ansi.Value().Bytes);
}

TSecretBytes SecretFromAnsi(std::span<const std::uint8_t> ansi) {
    const auto wide = ToWide<TSecret>(CP_ACP, Chars(ansi), ansi.size());
    return ToUtf8<TSecret>(wide.WideData(), wide.WideCount()).Bytes;
}

} // namespace qor::win
