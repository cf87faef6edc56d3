#include "foundation/text.h"

namespace drivelark {

std::size_t utf8CharacterAt(std::string_view text, std::size_t at, char32_t& codePoint) {
    if (at >= text.size()) return 0;
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool isValidUtf8(std::string_view text) {
    char32_t codePoint;
    for (std::size_t at = 0, length; at < text.size(); at += length) {
        length = utf8CharacterAt(text, at, codePoint);
        if (length == 0) return false;
    }
    return true;
}

}  // namespace drivelark
