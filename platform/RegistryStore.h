// A per-user key/value store with the registry's semantics: values are named, typed and
// hold raw bytes. The product keeps its settings under one key of it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// Registry value types as the registry numbers them. Any other number is kept as it is.
namespace RegType {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Sz = 1;
inline constexpr std::uint32_t ExpandSz = 2;
inline constexpr std::uint32_t Binary = 3;
inline constexpr std::uint32_t Dword = 4;
} // namespace RegType

struct TRegValue {
    std::uint32_t Type = RegType::None;
    std::vector<std::uint8_t> Data;
    bool operator==(const TRegValue&) const = default;
};

// A DWORD's data: four bytes, least significant first.
inline constexpr std::size_t DwordSize = 4;

inline TRegValue DwordValue(std::uint32_t number) {
    TRegValue value{RegType::Dword, std::vector<std::uint8_t>(DwordSize)};
    for (std::size_t i = 0; i < DwordSize; ++i) {
        value.Data[i] = static_cast<std::uint8_t>(number >> (8 * i));
    }
    return value;
}

// The number in a DWORD's data; fewer than four bytes read as its low bytes, bytes past the
// fourth are not looked at.
inline std::uint32_t DwordNumber(std::span<const std::uint8_t> data) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < std::min(data.size(), DwordSize); ++i) {
        number |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    return number;
}

// A REG_SZ: the text and its terminating zero.
inline TRegValue SzValue(std::string_view text) {
    TRegValue value{RegType::Sz, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.Data.push_back(0);
    return value;
}

enum class TRegAccess { Read, Write };

// An open key. Closing is the destructor.
class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;
    // The value's type and bytes; nullopt when it does not exist.
    virtual std::optional<TRegValue> QueryValue(const std::string& name) = 0;
    // Creates or replaces the value; false when it could not be stored.
    virtual bool SetValue(const std::string& name, const TRegValue& value) = 0;
};

// Something the store has to tell the user, handed out once.
struct TStoreNotice {
    std::string DamagedFile; // a store file that could not be read at all
    std::string KeptAs;      // where it was moved so that nothing is lost
};

class IRegistryStore {
public:
    virtual ~IRegistryStore() = default;
    // Opens the key below the current user's root ("Software\\Maker\\Product"), creating it
    // when missing; nullptr when it can be neither opened nor created.
    virtual std::unique_ptr<IRegistryKey> CreateKey(const std::string& path, TRegAccess access) = 0;
    virtual std::vector<TStoreNotice> TakeNotices() = 0;
};

} // namespace qor
