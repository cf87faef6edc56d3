#include "platform/mac/cf_ref.h"
#include "platform/text_case.h"

namespace drivelark {

std::string uppercased(std::string_view utf8) {
    CFRef<CFStringRef> source = makeCFString(std::string(utf8));
    if (!source) return std::string();
    CFRef<CFMutableStringRef> text =
        CFRef<CFMutableStringRef>::adopt(CFStringCreateMutableCopy(kCFAllocatorDefault, 0, source.get()));
    CFStringUppercase(text.get(), nullptr);  // no locale: the same mapping everywhere
    return textOf(text.get());
}

}  // namespace drivelark
