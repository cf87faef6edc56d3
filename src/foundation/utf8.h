#pragma once

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string_view>

namespace drivelark {

// The length in bytes of the character that `text` begins with; 0 when it does not begin with
// a valid one (or is empty).
std::size_t utf8CharacterLength(std::string_view text);

bool isValidUtf8(std::string_view text);

}  // namespace drivelark
