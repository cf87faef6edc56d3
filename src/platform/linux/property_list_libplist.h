#pragma once

// Conversions between libplist nodes and PlistValue, for the Linux platform.

#include <plist/plist.h>

#include <memory>

#include "platform/property_list.h"

namespace drivelark {

struct PlistNodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistNodeDeleter>;

PlistValue valueFromNode(plist_t node);
// A new node for `value`; `Other` values, which carry nothing to write, become empty data.
PlistNode nodeFromValue(const PlistValue& value);
// Parses XML or binary bytes; null when they are not a property list, or hold a NUL character in
// a key or a string.
PlistNode parseNode(std::string_view bytes);

}  // namespace drivelark
