#include "settings/WinRegistryKey.h"

#include <cstring>
#include <limits>

#include "platform/WinErrors.h"
#include "platform/WinText.h"

namespace qor {
namespace {

// A value that keeps growing between the size query and the read is given up on.
constexpr int ReadAttempts = 4;

// The types whose data the registry keeps as UTF-16 text; the store above sees them in UTF-8,
// as it sees every text. Written through the wide call they are what other programs' ANSI
// reads get in their code page.
bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A stray last byte of an odd-sized text value is no character and is dropped.
std::vector<std::uint8_t> TextToUtf8(const std::vector<std::uint8_t>& utf16) {
    std::wstring wide(utf16.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), utf16.data(), wide.size() * sizeof(wchar_t));
    const std::string utf8 = win::Narrow(wide);
    return {utf8.begin(), utf8.end()};
}

std::vector<std::uint8_t> TextToUtf16(const std::vector<std::uint8_t>& utf8) {
    const std::wstring wide = win::Widen({reinterpret_cast<const char*>(utf8.data()), utf8.size()});
    std::vector<std::uint8_t> bytes(wide.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), wide.data(), bytes.size());
    return bytes;
}

TStoreCause CauseOf(std::uint32_t status) {
    switch (status) {
    case ERROR_ACCESS_DENIED:
        return TStoreCause::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return TStoreCause::DiskFull;
    default:
        return TStoreCause::Other;
    }
}

} // namespace

TStoreFailure RegistryFailure(const std::string& location, const std::string& call,
                              std::uint32_t status) {
    return {location, CauseOf(status), win::ErrorText(call + " '" + location + "'", status), false};
}

std::optional<TRegValue> TWinRegistryKey::QueryValue(const std::string& name) {
    const std::wstring wideName = win::Widen(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExW(Key.get(), wideName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
        TRegValue value;
        // One byte more than asked for, so that an empty value still has a buffer to point at.
        value.Data.resize(static_cast<std::size_t>(size) + 1);
        DWORD got = size;
        const LSTATUS status = ::RegQueryValueExW(Key.get(), wideName.c_str(), nullptr, &type,
                                                  value.Data.data(), &got);
        if (status == ERROR_SUCCESS) {
            value.Data.resize(got);
            value.Type = type;
            if (IsText(type)) {
                value.Data = TextToUtf8(value.Data);
            }
            return value;
        }
        if (status != ERROR_MORE_DATA) {
            return std::nullopt;
        }
        size = got;
    }
    return std::nullopt;
}

TResult<void, TStoreFailure> TWinRegistryKey::SetValue(const std::string& name,
                                                       const TRegValue& value) {
    const std::vector<std::uint8_t> bytes =
        IsText(value.Type) ? TextToUtf16(value.Data) : value.Data;
    if (bytes.size() > std::numeric_limits<DWORD>::max()) {
        return Fail(RegistryFailure(Location, "RegSetValueExW", ERROR_INVALID_PARAMETER));
    }
    // The call wants a buffer even for no bytes.
    static constexpr BYTE NoBytes = 0;
    const BYTE* data = bytes.empty() ? &NoBytes : bytes.data();
    const LSTATUS status = ::RegSetValueExW(Key.get(), win::Widen(name).c_str(), 0, value.Type,
                                            data, static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) {
        TStoreFailure failure =
            RegistryFailure(Location, "RegSetValueExW", static_cast<std::uint32_t>(status));
        failure.StoreExists = true;
        return Fail(std::move(failure));
    }
    return {};
}

} // namespace qor
