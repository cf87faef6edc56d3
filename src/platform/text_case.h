#pragma once

// Port: Unicode case mapping. Stateless and safe on any thread.

#include <string>
#include <string_view>

namespace drivelark {

// Full Unicode upper-case mapping of UTF-8 text, independent of locale ("ß" becomes "SS").
std::string uppercased(std::string_view utf8);

}  // namespace drivelark
