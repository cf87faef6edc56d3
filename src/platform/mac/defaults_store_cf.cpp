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
    std::lock_guard lock(writing_);
    CFRef<CFStringRef> name = makeCFString(key);
    CFRef<CFPropertyListRef> previous =
        CFRef<CFPropertyListRef>::adopt(CFPreferencesCopyAppValue(name.get(), kCFPreferencesCurrentApplication));
    CFPreferencesSetAppValue(name.get(), cfFromValue(value).get(), kCFPreferencesCurrentApplication);
    if (CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication)) return true;
    // CFPreferences keeps a value it could not write in its cache; what is read back must be
    // what is stored, so the previous value (or its absence) goes back in.
    CFPreferencesSetAppValue(name.get(), previous.get(), kCFPreferencesCurrentApplication);
    return false;
}

}  // namespace drivelark
