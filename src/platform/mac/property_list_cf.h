#pragma once

// Conversions between CoreFoundation property-list objects and PlistValue, for macOS.

#include "platform/mac/cf_ref.h"
#include "platform/property_list.h"

namespace drivelark {

PlistValue valueFromCF(CFTypeRef object);
// Null for `Other` values, which carry nothing to store.
CFRef<CFTypeRef> cfFromValue(const PlistValue& value);

}  // namespace drivelark
