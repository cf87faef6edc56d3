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

}  // namespace drivelark
