#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "platform/text_case.h"

namespace drivelark {

std::string uppercased(std::string_view utf8) {
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    text.toUpper(icu::Locale::getRoot());
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace drivelark
