// Feeds arbitrary bytes to the image check and the variant test. The first byte chooses
// whether a matching CRC trailer is appended, so the paths behind a passed check are reached
// as often as the refusals.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Crc32.h"
#include "base/Windows1252.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool addTrailer = (data[0] & 1) != 0;
    // Exact-size copy: any read past the bytes is caught by the address sanitizer.
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if (addTrailer) {
        const std::uint32_t crc = qor::CalcCrc32(bytes.data(), bytes.size());
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
        }
    }
    bytes.shrink_to_fit();
    const std::size_t count = bytes.size();

    const auto image = qor::ParseFirmwareImage(std::move(bytes));
    if (addTrailer && count >= qor::ImageMinimumSize && count <= qor::ImageMaximumSize &&
        !image) {
        __builtin_trap(); // a correct trailer must pass
    }
    if (image) {
        if (image->Size() != count || image->Version().size() != qor::ImageVersionSize ||
            count < qor::ImageMinimumSize) {
            __builtin_trap();
        }
        for (const auto& [pageSize, pageCount] :
             {std::pair{512u, 124u}, std::pair{1024u, 126u}, std::pair{256u, 128u}}) {
            const auto variant = qor::TDeviceVariant::FromGeometry(pageSize, pageCount);
            if (variant.Fits(*image) && count / 512 * 512 > variant.FlashSize()) {
                __builtin_trap(); // an image that would be written past the flash
            }
        }
        const std::string shown = qor::Windows1252ToUtf8(image->Version());
        if (shown.size() > 3 * image->Version().size()) {
            __builtin_trap();
        }
    }
    const std::string path(reinterpret_cast<const char*>(data), size);
    if (qor::ShownFileName(path).size() > path.size()) {
        __builtin_trap();
    }
    return 0;
}
