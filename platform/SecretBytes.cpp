#include "platform/SecretBytes.h"

#include <algorithm>

namespace qor {

void SecureWipe(void* data, std::size_t size) noexcept {
    // Writes through a volatile pointer are observable, so they cannot be optimised away.
    auto* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

void TSecretBytes::Resize(std::size_t size) {
    if (size <= Bytes.capacity()) {
        if (size < Bytes.size()) {
            SecureWipe(Bytes.data() + size, Bytes.size() - size);
        }
        Bytes.resize(size);
        return;
    }
    std::vector<std::uint8_t> grown;
    grown.reserve(size);
    grown.assign(Bytes.begin(), Bytes.end());
    grown.resize(size);
    Wipe();
    Bytes.swap(grown);
}

} // namespace qor
