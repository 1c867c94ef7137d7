// The firmware image file: reading it, checking its CRC trailer, loading it into the main
// window's state, and whether it fits the connected device.
//
// Layout (N = file size): content 0 .. N-5, the version field of four Windows-1252 characters
// at N-24 (its last one the variant letter, at N-21), and the CRC-32 of bytes 0 .. N-5 in the
// last four bytes, least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "app/MainState.h"

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

inline constexpr std::uint8_t VariantLetterA = 0x61; // 'a'
inline constexpr std::uint8_t VariantLetterB = 0x62; // 'b'

enum class TFirmwareFileError {
    None,
    CannotOpen, // missing, no permission
    CannotRead, // read error (a directory, an I/O fault) or out of memory
    TooLarge,   // above ImageMaximumSize
};

// One reading of an image file. Checking and loading both work on these bytes, so the bytes
// that pass the check are the bytes that are loaded, whatever happens to the file meanwhile.
struct TFirmwareFile {
    TImageBytes Bytes; // set when Error is None; may be empty
    TFirmwareFileError Error = TFirmwareFileError::None;
    int SystemError = 0; // errno of a failed open or read, 0 if unknown
};

enum class TImageCheck {
    Valid,
    Empty,
    TooShort, // fewer bytes than the version field needs
    ChecksumMismatch,
};

// Reads the whole file at `path` (UTF-8). Never throws.
TFirmwareFile ReadFirmwareFile(const std::string& path);

TImageCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes);

// True when the file was read and its bytes are a valid image. Changes no state.
bool CheckFirmwareFile(const TFirmwareFile& file);

// Makes the file's bytes the loaded image: FWBuffer, FWSize, FWLoaded and the raw FWVersion.
// Returns false and changes nothing when the file could not be read or is too short to hold a
// version field.
bool LoadFirmwareFile(const TFirmwareFile& file, TMainState& state);

// Variant 0 takes images whose variant letter is 'a', variant 1 'b'; other devices take none.
bool FirmwareFitsDevice(std::span<const std::uint8_t> bytes, std::uint8_t deviceVariant);

// The shown name of an image: the last piece of the path. Splits at "\" as the product always
// has, then at "/" so that paths of this system's own file dialog work as well.
std::string ShownFileName(const std::string& path);

} // namespace qor
