// Feeds arbitrary bytes to the image check, the load and the variant test. The first byte
// chooses whether a matching CRC trailer is appended, so the paths behind a passed check are
// reached as often as the refusals.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/MainState.h"
#include "base/Crc32.h"
#include "firmware/FirmwareImage.h"
#include "base/Windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool addTrailer = (data[0] & 1) != 0;
    // Exact-size copy: any read past the bytes is caught by the address sanitizer.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(data + 1, data + size);
    if (addTrailer) {
        const std::uint32_t crc = qor::CalcCrc32(bytes->data(), bytes->size());
        for (int i = 0; i < 4; ++i) {
            bytes->push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
        }
        bytes->shrink_to_fit();
    }

    const qor::TFirmwareFile file{bytes, qor::TFirmwareFileError::None, 0};
    const qor::TImageCheck check = qor::CheckFirmwareImage(*bytes);
    if ((check == qor::TImageCheck::Valid) != qor::CheckFirmwareFile(file)) {
        __builtin_trap();
    }
    if (addTrailer && bytes->size() >= qor::ImageMinimumSize && check != qor::TImageCheck::Valid) {
        __builtin_trap(); // a correct trailer must pass
    }

    qor::TMainState state;
    const bool loaded = qor::LoadFirmwareFile(file, state);
    if (loaded != (bytes->size() >= qor::ImageMinimumSize) ||
        (loaded && (state.FWSize != bytes->size() || state.FWVersion.size() != 4))) {
        __builtin_trap();
    }
    for (std::uint8_t variant = 0; variant < 3; ++variant) {
        qor::FirmwareFitsDevice(*bytes, variant);
    }
    const std::string shown = qor::Windows1252ToUtf8(state.FWVersion);
    const std::string path(reinterpret_cast<const char*>(data), size);
    const std::string name = qor::ShownFileName(path);
    if (name.size() > path.size() || shown.size() > 3 * state.FWVersion.size()) {
        __builtin_trap();
    }
    return 0;
}
