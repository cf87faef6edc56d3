#include "platform/mac/defaults_store_cf.h"

#include "platform/mac/property_list_cf.h"

namespace drivelark {

std::optional<PlistValue> CFPreferencesDefaultsStore::value(const std::string& key) {
    CFRef<CFPropertyListRef> stored = CFRef<CFPropertyListRef>::adopt(
        CFPreferencesCopyAppValue(makeCFString(key).get(), kCFPreferencesCurrentApplication));
    if (!stored) return std::nullopt;
    return valueFromCF(stored.get());
}

bool CFPreferencesDefaultsStore::setValue(const std::string& key, const PlistValue& value) {
    CFRef<CFTypeRef> object = cfFromValue(value);
    CFPreferencesSetAppValue(makeCFString(key).get(), object.get(), kCFPreferencesCurrentApplication);
    return CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication);
}

}  // namespace drivelark
