#include "cli/Format.h"

namespace qor::cli {

std::string SecondsText(TMs duration) {
    const auto tenths = duration.count() / 100;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.' + std::to_string(tenths % 10);
    }
    return text + " s";
}

} // namespace qor::cli
