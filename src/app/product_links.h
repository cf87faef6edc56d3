#pragma once

// Where the product page and the author's blog are. The host is an internationalised name; it is
// kept in Unicode for the texts and turned into its ASCII form before an address is parsed.

#include <string>

namespace drivelark::ProductLinks {

inline constexpr const char* kAuthor = "Drivelark 团队";
inline constexpr const char* kHost = "云雀.example";
inline constexpr const char* kAsciiHost = "xn--9kqt37o.example";
inline constexpr const char* kProductPage = "https://云雀.example/ntfs/";
inline constexpr const char* kBlog = "https://云雀.example";

// `address` with every occurrence of the Unicode host replaced by its ASCII form.
std::string asciiAddress(std::string address);

}  // namespace drivelark::ProductLinks
