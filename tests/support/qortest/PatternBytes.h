// Bytes that look like nothing in particular, different for each seed: bodies for the test
// servers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::test {

inline std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761U + 1;
    for (auto& b : bytes) {
        state = state * 1664525U + 1013904223U;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

} // namespace qor::test
