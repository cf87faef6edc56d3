#pragma once

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string_view>

namespace drivelark {

// The length in bytes of the character that starts at `at` in `text`, with its code point in
// `codePoint`; 0 when the bytes there are not one.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at, char32_t& codePoint);

bool isValidUtf8(std::string_view text);

}  // namespace drivelark
