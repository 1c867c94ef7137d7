#include "platform/BoundedRead.h"

#include <algorithm>
#include <new>

namespace qor {

TResult<std::vector<std::uint8_t>, TFileError> ReadBounded(const std::string& path,
                                                           std::uint64_t sizeAtOpen,
                                                           std::size_t limit,
                                                           const TReadSome& readSome) {
    const auto tooLarge = [&path] {
        return Fail(TFileError{TFileFault::TooLarge, "'" + path + "' is too large"});
    };
    if (sizeAtOpen > limit) {
        return tooLarge();
    }
    try {
        // One byte beyond the size seen, so a file that grew shows it at once.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sizeAtOpen) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size()) {
                if (bytes.size() > limit) {
                    return tooLarge();
                }
                bytes.resize(std::min(bytes.size() * 2, limit + 1));
            }
            const auto got = readSome(bytes.data() + used, bytes.size() - used);
            if (!got) {
                return Fail(got.Error());
            }
            if (*got == 0) {
                bytes.resize(used);
                return bytes;
            }
            used += *got;
        }
    } catch (const std::bad_alloc&) {
        return Fail(TFileError{TFileFault::CannotRead, "no memory to read '" + path + "'"});
    }
}

} // namespace qor
