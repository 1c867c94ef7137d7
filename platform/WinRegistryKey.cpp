#include "platform/WinRegistryKey.h"

#include <limits>

#include "platform/WinErrors.h"

namespace qor {
namespace {

// A value that keeps growing between the size query and the read is given up on.
constexpr int ReadAttempts = 4;

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
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExA(Key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    for (int attempt = 0; attempt < ReadAttempts; ++attempt) {
        TRegValue value;
        // One byte more than asked for, so that an empty value still has a buffer to point at.
        value.Data.resize(static_cast<std::size_t>(size) + 1);
        DWORD got = size;
        const LSTATUS status =
            ::RegQueryValueExA(Key.get(), name.c_str(), nullptr, &type, value.Data.data(), &got);
        if (status == ERROR_SUCCESS) {
            // The ANSI call may give fewer bytes than it announced (a text converted from the
            // registry's UTF-16): the read's own count is the value.
            value.Data.resize(got);
            value.Type = type;
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
    if (value.Data.size() > std::numeric_limits<DWORD>::max()) {
        return Fail(RegistryFailure(Location, "RegSetValueExA", ERROR_INVALID_PARAMETER));
    }
    // The call wants a buffer even for no bytes.
    static constexpr BYTE NoBytes = 0;
    const BYTE* data = value.Data.empty() ? &NoBytes : value.Data.data();
    const LSTATUS status = ::RegSetValueExA(Key.get(), name.c_str(), 0, value.Type, data,
                                            static_cast<DWORD>(value.Data.size()));
    if (status != ERROR_SUCCESS) {
        TStoreFailure failure =
            RegistryFailure(Location, "RegSetValueExA", static_cast<std::uint32_t>(status));
        failure.StoreExists = true;
        return Fail(std::move(failure));
    }
    return {};
}

} // namespace qor
