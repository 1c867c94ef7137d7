#include "firmware/FirmwareImage.h"

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "device/Protocol.h"
#include "firmware/Explode.h"

namespace qor {

namespace {

constexpr std::size_t ReadChunkSize = std::size_t{64} * 1024;

std::filesystem::path PathFromUtf8(const std::string& path) {
    return {std::u8string(path.begin(), path.end())};
}

TFirmwareFile ReadAll(std::ifstream& in) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    std::array<char, ReadChunkSize> chunk{};
    for (;;) {
        errno = 0;
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (in.bad()) {
            return {nullptr, TFirmwareFileError::CannotRead, errno};
        }
        if (bytes->size() + got > ImageMaximumSize) {
            return {nullptr, TFirmwareFileError::TooLarge, 0};
        }
        bytes->insert(bytes->end(), chunk.begin(),
                      chunk.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < chunk.size()) {
            return {std::move(bytes), TFirmwareFileError::None, 0};
        }
    }
}

std::string LastPiece(const std::string& text, const char* delimiter) {
    std::vector<std::string> pieces;
    Explode(text, delimiter, &pieces, true);
    return pieces.empty() ? std::string() : pieces.back();
}

} // namespace

TFirmwareFile ReadFirmwareFile(const std::string& path) {
    try {
        errno = 0;
        std::ifstream in(PathFromUtf8(path), std::ios::binary);
        if (!in.is_open()) {
            return {nullptr, TFirmwareFileError::CannotOpen, errno};
        }
        return ReadAll(in);
    } catch (const std::bad_alloc&) {
        return {nullptr, TFirmwareFileError::CannotRead, ENOMEM};
    } catch (const std::exception&) {
        return {nullptr, TFirmwareFileError::CannotRead, 0};
    }
}

TImageCheck CheckFirmwareImage(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return TImageCheck::Empty;
    }
    if (bytes.size() < ImageMinimumSize) {
        return TImageCheck::TooShort;
    }
    const std::size_t content = bytes.size() - ImageTrailerSize;
    return CalcCrc32(bytes.data(), content) == ReadLe32(bytes.data() + content)
               ? TImageCheck::Valid
               : TImageCheck::ChecksumMismatch;
}

bool CheckFirmwareFile(const TFirmwareFile& file) {
    return file.Bytes != nullptr && CheckFirmwareImage(*file.Bytes) == TImageCheck::Valid;
}

bool LoadFirmwareFile(const TFirmwareFile& file, TMainState& state) {
    if (file.Bytes == nullptr || file.Bytes->size() < ImageMinimumSize) {
        return false;
    }
    const std::vector<std::uint8_t>& bytes = *file.Bytes;
    const std::size_t version = bytes.size() - ImageVersionFromEnd;
    state.FWBuffer = file.Bytes;
    state.FWSize = static_cast<std::uint32_t>(bytes.size());
    state.FWLoaded = true;
    state.FWVersion.assign(bytes.begin() + static_cast<std::ptrdiff_t>(version),
                           bytes.begin() + static_cast<std::ptrdiff_t>(version + ImageVersionSize));
    return true;
}

bool FirmwareFitsDevice(std::span<const std::uint8_t> bytes, std::uint8_t deviceVariant) {
    if (bytes.size() < ImageVariantFromEnd) {
        return false;
    }
    const std::uint8_t letter = bytes[bytes.size() - ImageVariantFromEnd];
    return (deviceVariant == DeviceVariantA && letter == VariantLetterA) ||
           (deviceVariant == DeviceVariantB && letter == VariantLetterB);
}

std::string ShownFileName(const std::string& path) {
    return LastPiece(LastPiece(path, "\\"), "/");
}

} // namespace qor
