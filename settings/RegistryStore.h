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

#include "base/Result.h"

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

// Seven settings take a few hundred bytes, a protected password a few kilobytes more. A store
// beyond this is not one of ours and is treated like a damaged one.
inline constexpr std::size_t MaxStoreSize = std::size_t{1024} * 1024;

// Why the store could not be read or written, as far as the user can do something about it.
enum class TStoreCause {
    Other,          // only the system's own words say why
    LockHeld,       // another program keeps the store locked
    ReadOnly,       // the folder (or the file) may not be written
    DiskFull,       // no space left for the new file
    NotRegularFile, // a directory, device or pipe stands where the store's file belongs
    AccessDenied,   // the store may not be read or opened
    NoLocation,     // there is no folder for the store at all
    TooLarge,       // far larger than any store of ours: not one of ours
    Damaged,        // not in the store's format
};

// A failure of the store: where and why.
struct TStoreFailure {
    std::string Location; // the file (or registry key) concerned
    TStoreCause Cause = TStoreCause::Other;
    std::string Detail; // the system's words, for the record and for Cause::Other
    // Something is stored there that could not be read. It must never be replaced by
    // defaults: it may hold the user's settings.
    bool StoreExists = false;
};

// An open key. Closing is the destructor.
class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;
    // The value's type and bytes; nullopt when it does not exist.
    virtual std::optional<TRegValue> QueryValue(const std::string& name) = 0;
    // Creates or replaces the value; fails with the reason when it could not be stored.
    virtual TResult<void, TStoreFailure> SetValue(const std::string& name,
                                                  const TRegValue& value) = 0;
};

// Something the store has to tell the user, handed out once.
struct TStoreNotice {
    enum class TKind {
        SetAside,   // an unreadable file was moved to KeptAs and a fresh one begun
        Unreadable, // the store could not be read and was left as it is
    };
    TKind Kind = TKind::SetAside;
    TStoreFailure Failure; // the file and why it could not be read
    std::string KeptAs;
};

class IRegistryStore {
public:
    virtual ~IRegistryStore() = default;
    // Opens the key below the current user's root ("Software\\Maker\\Product"), creating it
    // when missing; fails with the reason when it can be neither opened nor created. A key
    // open for writing also reads, so that a save can see what the store holds now.
    virtual TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                            TRegAccess access) = 0;
    virtual std::vector<TStoreNotice> TakeNotices() = 0;
};

} // namespace qor
