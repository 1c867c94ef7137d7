#include "firmware/Explode.h"

#include <string_view>

namespace qor {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

void Explode(const std::string& text, const std::string& delimiter, std::vector<std::string>* list,
             bool trim) {
    if (list == nullptr) {
        return;
    }
    std::string_view rest = text;
    if (trim) {
        rest = Trimmed(rest);
    }
    while (!rest.empty()) {
        // An empty delimiter is never found, so the whole text becomes one piece.
        const std::size_t found = delimiter.empty() ? std::string_view::npos : rest.find(delimiter);
        if (found == std::string_view::npos) {
            list->emplace_back(rest);
            return;
        }
        list->emplace_back(rest.substr(0, found));
        rest.remove_prefix(found + 1);
        if (trim) {
            rest = Trimmed(rest);
        }
    }
}

} // namespace qor
