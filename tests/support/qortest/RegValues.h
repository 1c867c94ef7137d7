// Stored values as the tests write them out: registry values, and texts with the terminating
// zero that the registry's text values and a stored password both keep.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/RegistryStore.h"

namespace qor::test {

// The key a store opened, or nullptr when it could not; why goes to `refusal` when given.
inline std::unique_ptr<IRegistryKey>
KeyOf(TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> opened,
      TStoreFailure* refusal = nullptr) {
    if (!opened) {
        if (refusal != nullptr) {
            *refusal = opened.Error();
        }
        return nullptr;
    }
    return std::move(*opened);
}

// The characters of `text` and one zero byte.
inline std::vector<std::uint8_t> ZeroTerminated(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A DWORD value: four bytes, least significant first.
inline TRegValue Dword(std::uint32_t n) {
    return {RegType::Dword,
            {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
             static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

// A text value: its characters and the terminating zero.
inline TRegValue TextValue(const std::string& text, std::uint32_t type = RegType::Sz) {
    return {type, ZeroTerminated(text)};
}

} // namespace qor::test
