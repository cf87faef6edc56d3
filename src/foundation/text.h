#pragma once

// Small text helpers: trimming, searching, how log lines name a volume, and strict UTF-8 (no
// overlong forms, no surrogates, nothing above U+10FFFF).

#include <cstddef>
#include <string>
#include <string_view>

namespace drivelark {

// `text` without leading and trailing blanks, tabs and line breaks, as program output is
// written into a log line.
inline std::string trimmed(std::string_view text) {
    constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";
    size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kWhiteSpace);
    return std::string(text.substr(first, last - first + 1));
}

inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// How log lines name a volume: its name and its device, "Data(disk4s1)", since two disks may share
// a name.
inline std::string volumeLabel(std::string_view name, std::string_view deviceID) {
    std::string label(name);
    if (!deviceID.empty()) label.append("(").append(deviceID).append(")");
    return label;
}

// The length in bytes of the character that starts at `at` in `text`, with its code point in
// `codePoint`; 0 when the bytes there are not one.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at, char32_t& codePoint);
bool isValidUtf8(std::string_view text);

}  // namespace drivelark
