// A byte buffer that is wiped when it goes away, for plaintext secrets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qor {

// Overwrites memory in a way the optimiser may not drop.
void SecureWipe(void* data, std::size_t size) noexcept;

class TSecretBytes {
public:
    TSecretBytes() = default;
    explicit TSecretBytes(std::span<const std::uint8_t> bytes)
        : Bytes(bytes.begin(), bytes.end()) {}
    TSecretBytes(const TSecretBytes&) = delete;
    TSecretBytes& operator=(const TSecretBytes&) = delete;
    TSecretBytes(TSecretBytes&& other) noexcept : Bytes(std::move(other.Bytes)) {}
    TSecretBytes& operator=(TSecretBytes&& other) noexcept {
        if (this != &other) {
            Wipe();
            Bytes = std::move(other.Bytes);
        }
        return *this;
    }
    ~TSecretBytes() { Wipe(); }

    // Grows without leaving copies of the old contents behind.
    void Resize(std::size_t size);
    std::uint8_t* Data() noexcept { return Bytes.data(); }
    const std::uint8_t* Data() const noexcept { return Bytes.data(); }
    std::size_t Size() const noexcept { return Bytes.size(); }
    std::span<const std::uint8_t> View() const noexcept { return Bytes; }

private:
    void Wipe() noexcept { SecureWipe(Bytes.data(), Bytes.size()); }
    std::vector<std::uint8_t> Bytes;
};

} // namespace qor
