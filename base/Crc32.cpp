#include "base/Crc32.h"

#include <array>

namespace qor {
namespace {

constexpr std::uint32_t Polynomial = 0x04C11DB7;
constexpr std::size_t SliceBytes = 8;

using TTable = std::array<std::uint32_t, 256>;

// Table 0, entry i: the register after shifting byte i, placed in the top 8 bits, through 8
// steps. Table k: the same byte followed by k zero bytes, so eight bytes are taken at once
// (images of 1.5 MB are checked on the GUI thread and by every download).
constexpr std::array<TTable, SliceBytes> MakeTables() {
    std::array<TTable, SliceBytes> tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x80000000u) != 0 ? (reg << 1) ^ Polynomial : reg << 1;
        }
        tables[0][i] = reg;
    }
    for (std::size_t k = 1; k < SliceBytes; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous << 8) ^ tables[0][previous >> 24];
        }
    }
    return tables;
}

constexpr std::array<TTable, SliceBytes> Tables = MakeTables();
static_assert(Tables[0][1] == Polynomial);

} // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    const auto& t = Tables;
    for (; size >= SliceBytes; size -= SliceBytes, data += SliceBytes) {
        crc ^= std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
               std::uint32_t{data[2]} << 8 | data[3];
        crc = t[7][crc >> 24] ^ t[6][(crc >> 16) & 0xFFu] ^ t[5][(crc >> 8) & 0xFFu] ^
              t[4][crc & 0xFFu] ^ t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    }
    for (std::size_t i = 0; i < size; ++i) {
        crc = (crc << 8) ^ t[0][((crc >> 24) ^ data[i]) & 0xFFu];
    }
    return crc;
}

std::uint32_t CalcCrc32(const std::uint8_t* data, std::size_t size) {
    return Crc32Update(0, data, size);
}

} // namespace qor
