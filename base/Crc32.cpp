#include "base/Crc32.h"

#include <array>

namespace qor {
namespace {

constexpr std::uint32_t Polynomial = 0x04C11DB7;

// Entry i: the register after shifting byte i, placed in the top 8 bits, through 8 steps.
constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x80000000u) != 0 ? (reg << 1) ^ Polynomial : reg << 1;
        }
        table[i] = reg;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> Table = MakeTable();
static_assert(Table[1] == Polynomial);

} // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        crc = (crc << 8) ^ Table[((crc >> 24) ^ data[i]) & 0xFFu];
    }
    return crc;
}

std::uint32_t CalcCrc32(const std::uint8_t* data, std::size_t size) {
    return Crc32Update(0, data, size);
}

} // namespace qor
