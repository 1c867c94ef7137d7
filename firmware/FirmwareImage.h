// The firmware image file as a value: its bytes, checked against their CRC-32 trailer, with the
// version field and the variant letter read from them.
//
// Layout (N = file size): content 0 .. N-5, the version field of four Windows-1252 characters
// at N-24 (its last one the variant letter, at N-21), and the CRC-32 of bytes 0 .. N-5 in the
// last four bytes, least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qor {

inline constexpr std::size_t ImageTrailerSize = 4;
inline constexpr std::size_t ImageVersionFromEnd = 24;
inline constexpr std::size_t ImageVersionSize = 4;
inline constexpr std::size_t ImageVariantFromEnd = 21;
// A file must hold the version field; shorter ones are refused even when their trailer matches.
inline constexpr std::size_t ImageMinimumSize = ImageVersionFromEnd;
// Far above any flash the protocol can address (255 pages of 1024 bytes); a larger file is
// refused before it is read whole, so choosing a huge file by mistake cannot exhaust memory.
inline constexpr std::size_t ImageMaximumSize = std::size_t{16} * 1024 * 1024;

// An image is written in blocks of this many bytes, one write request each; a shorter rest at
// its end is not written.
inline constexpr std::size_t BlockSize = 512;

inline constexpr std::uint8_t VariantLetterA = 0x61; // 'a'
inline constexpr std::uint8_t VariantLetterB = 0x62; // 'b'

using TImageBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// A checked image. Copies share the bytes, so an update can go on writing an image that the
// window has meanwhile let go.
class TFirmwareImage {
public:
    std::span<const std::uint8_t> Bytes() const { return *Data; }
    std::size_t Size() const { return Data->size(); }
    // The four bytes of the version field as stored (Windows-1252).
    std::string Version() const;
    std::uint8_t VariantLetter() const;
    // The CRC-32 trailer, which identifies the image in a service record.
    std::uint32_t Crc() const;

private:
    friend class TImageParser;
    explicit TFirmwareImage(TImageBytes bytes) : Data(std::move(bytes)) {}
    TImageBytes Data;
};

enum class TImageFault {
    Empty,
    TooShort, // fewer bytes than the version field needs
    ChecksumMismatch,
    TooLarge, // above ImageMaximumSize
};

struct TImageError {
    TImageFault Fault;
    std::string Describe() const;
};

// Checks `bytes` and makes them an image; they are taken over, not copied.
TResult<TFirmwareImage, TImageError> ParseFirmwareImage(std::vector<std::uint8_t> bytes);

// The shown name of an image: the last piece of the path. Splits at "\" as the product always
// has, then at "/" so that paths of this system's own file dialog work as well.
std::string ShownFileName(const std::string& path);

} // namespace qor
