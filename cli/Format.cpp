#include "cli/Format.h"

namespace qor::cli {

std::string Hex32(std::uint32_t value) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += Digits[(value >> shift) & 0x0F];
    }
    return text;
}

std::string SecondsText(TMs duration) {
    const auto tenths = duration.count() / 100;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.' + std::to_string(tenths % 10);
    }
    return text + " s";
}

} // namespace qor::cli
