// A JSON object written field by field, in the order given, on one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// The text as a JSON string literal. Bytes that are not UTF-8 become U+FFFD, so the output
// stays valid JSON whatever a file name or a device sent.
std::string JsonString(std::string_view text);

class TJsonObject {
public:
    TJsonObject& Add(std::string_view key, std::string_view value);
    TJsonObject& Add(std::string_view key, const char* value) {
        return Add(key, std::string_view(value));
    }
    TJsonObject& Add(std::string_view key, std::int64_t value);
    TJsonObject& Add(std::string_view key, int value) { return Add(key, std::int64_t{value}); }
    TJsonObject& Add(std::string_view key, std::uint32_t value) {
        return Add(key, std::int64_t{value});
    }
    TJsonObject& Add(std::string_view key, bool value);
    TJsonObject& AddNull(std::string_view key);
    // A number with `decimals` digits after the point: 2.5.
    TJsonObject& AddFixed(std::string_view key, double value, int decimals);
    // An array of objects.
    TJsonObject& Add(std::string_view key, const std::vector<TJsonObject>& objects);

    // Appends the other object's fields after these, but for those whose key is here already.
    TJsonObject& Merge(const TJsonObject& other);

    bool Has(std::string_view key) const;
    std::string Text() const;

private:
    struct TField {
        std::string Key;
        std::string Text; // "key":value
    };
    // Starts a field; its value is appended to the text returned.
    std::string& Key(std::string_view key);
    std::vector<TField> Fields;
};

} // namespace qor
