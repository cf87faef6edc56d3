#include "platform/property_list.h"

namespace drivelark {

const PlistValue* PlistValue::find(const std::string& key) const {
    const Dictionary* entries = dictionary();
    if (entries == nullptr) return nullptr;
    auto it = entries->find(key);
    return it == entries->end() ? nullptr : &it->second;
}

const std::string* PlistValue::textAt(const std::string& key) const {
    const PlistValue* value = find(key);
    return value == nullptr ? nullptr : value->text();
}

bool endsWhereAListingEnds(std::string_view bytes) {
    if (bytes.starts_with("bplist")) return true;
    size_t end = bytes.find_last_not_of(" \t\r\n");
    return end != std::string_view::npos && bytes.substr(0, end + 1).ends_with("</plist>");
}

}  // namespace drivelark
