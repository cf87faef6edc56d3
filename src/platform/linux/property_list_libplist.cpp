#include "platform/linux/property_list_libplist.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>

namespace drivelark {

namespace {

std::string takeString(char* text) {
    std::string result = text == nullptr ? std::string() : std::string(text);
    std::free(text);
    return result;
}

// libplist stops the program (a failed assertion) when asked for a key or a string that holds a
// NUL character, which a damaged or hostile file can carry: a raw NUL byte in XML, U+0000 in a
// binary list's UTF-16 text. Its XML writer copies such text whole, NUL included.
bool holdsNulCharacter(plist_t root) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (xml == nullptr) return false;
    bool found = std::memchr(xml, '\0', length) != nullptr;
    plist_to_xml_free(xml);
    return found;
}

// Calls `visit` with each key and value of a dictionary node, in order.
template <typename Visit>
void forEachEntry(plist_t dictionary, Visit visit) {
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &item);
        if (item == nullptr) {
            std::free(key);
            break;
        }
        visit(takeString(key), item);
    }
    std::free(iterator);
}

// libplist's binary reader keeps every copy of a key that a dictionary repeats, and its look-up
// finds the first; its XML reader keeps only the last, as Apple's readers do. Leaves the last
// everywhere, so that a value looked up, the same value converted and the file written back agree.
void keepLastOfRepeatedKeys(plist_t node) {
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (uint32_t i = 0, count = plist_array_get_size(node); i < count; ++i)
            keepLastOfRepeatedKeys(plist_array_get_item(node, i));
    }
    if (plist_get_node_type(node) != PLIST_DICT) return;
    std::map<std::string, int> copies;
    forEachEntry(node, [&](std::string key, plist_t item) {
        ++copies[key];
        keepLastOfRepeatedKeys(item);
    });
    for (const auto& [key, count] : copies) {
        for (int extra = 1; extra < count; ++extra) plist_dict_remove_item(node, key.c_str());
    }
}

}  // namespace

PlistValue valueFromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return PlistValue(flag != 0);
        }
        case PLIST_UINT: {
            // libplist keeps every integer as 64 unsigned bits; a negative one comes back as is.
            uint64_t number = 0;
            plist_get_uint_val(node, &number);
            return PlistValue(static_cast<std::int64_t>(number));
        }
        case PLIST_STRING: {
            char* text = nullptr;
            plist_get_string_val(node, &text);
            return PlistValue(takeString(text));
        }
        case PLIST_ARRAY: {
            PlistValue::Array items;
            uint32_t count = plist_array_get_size(node);
            items.reserve(count);
            for (uint32_t i = 0; i < count; ++i) items.push_back(valueFromNode(plist_array_get_item(node, i)));
            return PlistValue(std::move(items));
        }
        case PLIST_DICT: {
            PlistValue::Dictionary entries;
            forEachEntry(node, [&](std::string key, plist_t item) {
                entries.insert_or_assign(std::move(key), valueFromNode(item));
            });
            return PlistValue(std::move(entries));
        }
        default:
            return PlistValue();
    }
}

PlistNode nodeFromValue(const PlistValue& value) {
    if (const bool* flag = value.boolean()) return PlistNode(plist_new_bool(*flag ? 1 : 0));
    if (const std::int64_t* number = value.integer()) return PlistNode(plist_new_uint(static_cast<uint64_t>(*number)));
    if (const std::string* text = value.text()) return PlistNode(plist_new_string(text->c_str()));
    if (const PlistValue::Array* items = value.array()) {
        PlistNode array(plist_new_array());
        for (const PlistValue& item : *items) plist_array_append_item(array.get(), nodeFromValue(item).release());
        return array;
    }
    if (const PlistValue::Dictionary* entries = value.dictionary()) {
        PlistNode dictionary(plist_new_dict());
        for (const auto& [key, item] : *entries)
            plist_dict_set_item(dictionary.get(), key.c_str(), nodeFromValue(item).release());
        return dictionary;
    }
    return PlistNode(plist_new_data(nullptr, 0));
}

PlistNode parseNode(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max() || !endsWhereAListingEnds(bytes))
        return nullptr;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    PlistNode node(root);
    if (node && holdsNulCharacter(node.get())) return nullptr;
    if (node) keepLastOfRepeatedKeys(node.get());
    return node;
}

std::optional<PlistValue> parsePropertyList(std::string_view bytes) {
    PlistNode root = parseNode(bytes);
    if (!root) return std::nullopt;
    return valueFromNode(root.get());
}

}  // namespace drivelark
