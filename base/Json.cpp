#include "base/Json.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qor {
namespace {

constexpr const char* Replacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

std::string JsonString(std::string_view text) {
    static constexpr std::array<char, 16> Hex{'0', '1', '2', '3', '4', '5', '6', '7',
                                              '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        } else if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += Replacement;
                ++i;
                continue;
            }
            out.append(text.substr(i, length));
            i += length;
            continue;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string& TJsonObject::Key(std::string_view key) {
    Fields.push_back({std::string(key), JsonString(key) + ':'});
    return Fields.back().Text;
}

bool TJsonObject::Has(std::string_view key) const {
    return std::any_of(Fields.begin(), Fields.end(),
                       [key](const TField& field) { return field.Key == key; });
}

std::string TJsonObject::Text() const {
    std::string text(1, '{');
    for (const TField& field : Fields) {
        text += (text.size() > 1 ? "," : "") + field.Text;
    }
    return text + '}';
}

TJsonObject& TJsonObject::Add(std::string_view key, std::string_view value) {
    Key(key) += JsonString(value);
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, std::int64_t value) {
    Key(key) += std::to_string(value);
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, bool value) {
    Key(key) += value ? "true" : "false";
    return *this;
}

TJsonObject& TJsonObject::AddNull(std::string_view key) {
    Key(key) += "null";
    return *this;
}

TJsonObject& TJsonObject::AddFixed(std::string_view key, double value, int decimals) {
    std::string& field = Key(key);
    // Whole numbers, so that no locale turns the point into a comma.
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    const std::int64_t scaled =
        std::isfinite(value) ? std::llround(value * static_cast<double>(scale)) : 0;
    const std::int64_t whole = scaled / scale;
    const std::int64_t part = (scaled < 0 ? -scaled : scaled) % scale;
    if (scaled < 0 && whole == 0) {
        field += '-';
    }
    field += std::to_string(whole);
    if (decimals > 0) {
        const std::string digits = std::to_string(part);
        field += '.';
        field.append(static_cast<std::size_t>(decimals) - digits.size(), '0');
        field += digits;
    }
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, const std::vector<TJsonObject>& objects) {
    std::string& field = Key(key);
    field += '[';
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i > 0) {
            field += ',';
        }
        field += objects[i].Text();
    }
    field += ']';
    return *this;
}

TJsonObject& TJsonObject::Merge(const TJsonObject& other) {
    for (const TField& field : other.Fields) {
        if (!Has(field.Key)) {
            Fields.push_back(field);
        }
    }
    return *this;
}

} // namespace qor
