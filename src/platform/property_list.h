#pragma once

// Port: property lists (Apple's XML and binary formats) as one small value type.
// Parsing is stateless and safe on any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace drivelark {

// A property-list value reduced to what the core inspects: dictionaries with text keys,
// arrays, texts, Booleans and integers. Reals, dates, data and dictionaries with other keys are
// `Other`.
class PlistValue {
public:
    using Dictionary = std::map<std::string, PlistValue>;
    using Array = std::vector<PlistValue>;
    struct Other {
        bool operator==(const Other&) const = default;
    };

    PlistValue() = default;  // Other
    PlistValue(Other) {}
    PlistValue(bool value) : value_(value) {}
    explicit PlistValue(std::int64_t value) : value_(value) {}
    PlistValue(std::string value) : value_(std::move(value)) {}
    PlistValue(const char* value) : value_(std::string(value)) {}
    PlistValue(Array value) : value_(std::move(value)) {}
    PlistValue(Dictionary value) : value_(std::move(value)) {}

    // Typed views: null when the value has another type.
    const std::string* text() const { return std::get_if<std::string>(&value_); }
    const bool* boolean() const { return std::get_if<bool>(&value_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value_); }
    const Array* array() const { return std::get_if<Array>(&value_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&value_); }

    // The value under `key` when this is a dictionary holding it; null otherwise.
    const PlistValue* find(const std::string& key) const;
    // The text under `key`, or null when absent or not a text.
    const std::string* textAt(const std::string& key) const;

    bool operator==(const PlistValue&) const = default;

private:
    std::variant<Other, bool, std::int64_t, std::string, Array, Dictionary> value_;
};

// Parses XML or binary property-list bytes. None when they are not a property list.
std::optional<PlistValue> parsePropertyList(std::string_view bytes);

// A check both implementations of parsePropertyList make beyond their libraries: an XML listing
// ends with its </plist> tag. libplist reads on past a missing end tag and over text after it;
// CoreFoundation reads over text after it. Neither diskutil nor a preferences file writes such a
// listing. True for binary listings, and for text whose last characters before trailing white
// space are "</plist>".
bool endsWhereAListingEnds(std::string_view bytes);

}  // namespace drivelark
