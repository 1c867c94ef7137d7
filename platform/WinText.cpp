#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>
#include <limits>

namespace qor::win {
namespace {

static_assert(sizeof(wchar_t) == 2, "Windows' wide characters are UTF-16 units");

// Longer texts than an int counts are cut there; nothing the program handles comes close.
int Length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

// `text` in `codePage` as UTF-16 into `out` (resized to fit), which may be a secret's buffer.
template <typename TOut>
void ToWide(UINT codePage, const char* text, std::size_t size, TOut& out, std::size_t extra = 0) {
    const int count =
        size == 0 ? 0 : ::MultiByteToWideChar(codePage, 0, text, Length(size), nullptr, 0);
    out.Resize((static_cast<std::size_t>(count) + extra) * sizeof(wchar_t));
    if (count > 0) {
        ::MultiByteToWideChar(codePage, 0, text, Length(size), out.Wide(), count);
    }
}

// UTF-16 into `codePage`; false when a character had to be replaced and `exact` asked not to.
template <typename TOut>
bool FromWide(UINT codePage, const wchar_t* wide, std::size_t count, TOut& out, bool exact) {
    // UTF-8, also as a system's ANSI code page, holds every character and takes neither the
    // flag nor the replacement mark.
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ::GetACP() == CP_UTF8);
    const DWORD flags = exact && !utf8 ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL replaced = FALSE;
    BOOL* mark = utf8 ? nullptr : &replaced;
    const int size = count == 0 ? 0
                                : ::WideCharToMultiByte(codePage, flags, wide, Length(count),
                                                        nullptr, 0, nullptr, mark);
    out.Resize(static_cast<std::size_t>(size));
    if (size > 0) {
        ::WideCharToMultiByte(codePage, flags, wide, Length(count), out.Chars(), size, nullptr,
                              mark);
    }
    return !(exact && replaced != FALSE);
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
    TPlainWide wide;
    ToWide(CP_UTF8, utf8.data(), utf8.size(), wide);
    return std::move(wide.Text);
}

std::string Narrow(std::wstring_view wide) {
    TPlainChars utf8;
    FromWide(CP_UTF8, wide.data(), wide.size(), utf8, false);
    return std::move(utf8.Text);
}

std::optional<std::string> ToAnsi(std::string_view utf8) {
    const std::wstring wide = Widen(utf8);
    TPlainChars ansi;
    if (!FromWide(CP_ACP, wide.data(), wide.size(), ansi, true)) {
        return std::nullopt;
    }
    return std::move(ansi.Text);
}

std::string FromAnsi(std::string_view ansi) {
    TPlainWide wide;
    ToWide(CP_ACP, ansi.data(), ansi.size(), wide);
    return Narrow(wide.Text);
}

bool IsUtf8(std::span<const std::uint8_t> bytes) {
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Chars(bytes),
                                                  Length(bytes.size()), nullptr, 0) > 0;
}

TSecretBytes WidenSecret(std::span<const std::uint8_t> utf8) {
    TSecret wide;
    // The zero character after the text comes with the resize.
    ToWide(CP_UTF8, Chars(utf8), utf8.size(), wide, 1);
    return std::move(wide.Bytes);
}

std::optional<TSecretBytes> SecretToAnsi(std::span<const std::uint8_t> utf8) {
    TSecret wide;
    ToWide(CP_UTF8, Chars(utf8), utf8.size(), wide);
    TSecret ansi;
    if (!FromWide(CP_ACP, wide.WideData(), wide.WideCount(), ansi, true)) {
        return std::nullopt;
    }
    return std::move(ansi.Bytes);
}

TSecretBytes SecretFromAnsi(std::span<const std::uint8_t> ansi) {
    TSecret wide;
    ToWide(CP_ACP, Chars(ansi), ansi.size(), wide);
    TSecret utf8;
    FromWide(CP_UTF8, wide.WideData(), wide.WideCount(), utf8, false);
    return std::move(utf8.Bytes);
}

} // namespace qor::win
