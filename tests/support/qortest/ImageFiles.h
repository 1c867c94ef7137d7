// Builds firmware image files for tests: content, version field and a matching CRC trailer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "base/Crc32.h"
#include "sim/SampleImage.h"

namespace qor::test {

using TBytes = std::vector<std::uint8_t>;

// Appends the CRC-32 of the bytes, least significant byte first.
inline TBytes WithTrailer(TBytes content) {
    const std::uint32_t crc = CalcCrc32(content.data(), content.size());
    for (int i = 0; i < 4; ++i) {
        content.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    }
    return content;
}

// A valid image of `size` bytes (at least 24) with the given four version characters.
inline TBytes MakeImage(std::size_t size, const std::string& version, std::uint32_t seed = 7) {
    return MakeFirmwareImage(size, version, seed);
}

// A private directory that is removed with everything in it.
class TTempDir {
public:
    TTempDir() {
        std::random_device seed;
        Path = std::filesystem::temp_directory_path() /
               ("qor-fw-test-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(Path);
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::string Write(const std::string& name, const TBytes& bytes) const {
        const auto file = Path / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

    std::filesystem::path Path;
};

} // namespace qor::test
