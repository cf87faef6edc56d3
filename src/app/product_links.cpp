#include "app/product_links.h"

namespace drivelark::ProductLinks {

std::string asciiAddress(std::string address) {
    const std::string unicode = kHost;
    for (size_t at = address.find(unicode); at != std::string::npos; at = address.find(unicode, at)) {
        address.replace(at, unicode.size(), kAsciiHost);
        at += std::string(kAsciiHost).size();
    }
    return address;
}

}  // namespace drivelark::ProductLinks
