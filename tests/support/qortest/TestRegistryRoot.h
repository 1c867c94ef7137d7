// A key of the current user's registry that stands in for the whole hive in one test, so
// tests running side by side (and earlier runs in the same Wine prefix) never meet.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "settings/RegistryStore.h"

namespace qor {

// Readable failures: the type and the bytes.
inline void PrintTo(const TRegValue& value, std::ostream* out) {
    *out << "type " << value.Type << ", " << value.Data.size() << " bytes:";
    for (const std::uint8_t byte : value.Data) {
        *out << ' ' << static_cast<int>(byte);
    }
}

namespace test {

class TTestRegistryRoot {
public:
    TTestRegistryRoot() {
        static int made = 0;
        Path = "Software\\qor7316-tests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(++made);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str());
        EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &Key, nullptr),
                  ERROR_SUCCESS);
    }
    ~TTestRegistryRoot() {
        ::RegCloseKey(Key);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str());
    }
    TTestRegistryRoot(const TTestRegistryRoot&) = delete;
    TTestRegistryRoot& operator=(const TTestRegistryRoot&) = delete;

    HKEY Get() const { return Key; }
    // Where the root lies below HKEY_CURRENT_USER.
    const std::string& KeyPath() const { return Path; }

    // A value below the root as RegQueryValueExA hands it out; nullopt when missing.
    std::optional<TRegValue> Read(const std::string& keyPath, const std::string& name) const {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(Key, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        DWORD type = 0;
        DWORD size = 0;
        std::optional<TRegValue> value;
        if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::vector<std::uint8_t> data(size + 1);
            if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) ==
                ERROR_SUCCESS) {
                data.resize(size);
                value = TRegValue{type, data};
            }
        }
        ::RegCloseKey(key);
        return value;
    }

    // Stores a value below the root with RegSetValueExA, as another program might.
    void Write(const std::string& keyPath, const std::string& name, DWORD type,
               const std::vector<std::uint8_t>& data) const {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(Key, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        static constexpr BYTE NoBytes = 0;
        EXPECT_EQ(::RegSetValueExA(key, name.c_str(), 0, type,
                                   data.empty() ? &NoBytes : data.data(),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

private:
    std::string Path;
    HKEY Key = nullptr;
};

} // namespace test
} // namespace qor
