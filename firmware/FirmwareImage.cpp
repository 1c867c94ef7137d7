#include "firmware/FirmwareImage.h"

#include "base/ByteOrder.h"
#include "base/Crc32.h"
#include "firmware/Explode.h"

namespace qor {

// The only way to a TFirmwareImage: through the check.
class TImageParser {
public:
    static TResult<TFirmwareImage, TImageError> Parse(std::vector<std::uint8_t> bytes) {
        if (bytes.empty()) {
            return Fail(TImageError{TImageFault::Empty});
        }
        if (bytes.size() < ImageMinimumSize) {
            return Fail(TImageError{TImageFault::TooShort});
        }
        if (bytes.size() > ImageMaximumSize) {
            return Fail(TImageError{TImageFault::TooLarge});
        }
        const std::size_t content = bytes.size() - ImageTrailerSize;
        if (CalcCrc32(bytes.data(), content) != ReadLe32(bytes.data() + content)) {
            return Fail(TImageError{TImageFault::ChecksumMismatch});
        }
        return TFirmwareImage(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)));
    }
};

namespace {

std::string LastPiece(const std::string& text, const char* delimiter) {
    std::vector<std::string> pieces;
    Explode(text, delimiter, &pieces, true);
    return pieces.empty() ? std::string() : pieces.back();
}

} // namespace

std::string TFirmwareImage::Version() const {
    const auto at = Data->end() - static_cast<std::ptrdiff_t>(ImageVersionFromEnd);
    return {at, at + static_cast<std::ptrdiff_t>(ImageVersionSize)};
}

std::uint8_t TFirmwareImage::VariantLetter() const {
    return (*Data)[Data->size() - ImageVariantFromEnd];
}

std::uint32_t TFirmwareImage::Crc() const {
    return ReadLe32(Data->data() + Data->size() - ImageTrailerSize);
}

std::string TImageError::Describe() const {
    switch (Fault) {
    case TImageFault::Empty:
        return "the file is empty";
    case TImageFault::TooShort:
        return "the file is too short to be a firmware image";
    case TImageFault::ChecksumMismatch:
        return "the file's CRC-32 trailer does not match its contents";
    case TImageFault::TooLarge:
        return "the file is larger than any firmware image can be";
    }
    return "the file is not a firmware image";
}

TResult<TFirmwareImage, TImageError> ParseFirmwareImage(std::vector<std::uint8_t> bytes) {
    return TImageParser::Parse(std::move(bytes));
}

std::string ShownFileName(const std::string& path) {
    return LastPiece(LastPiece(path, "\\"), "/");
}

} // namespace qor
