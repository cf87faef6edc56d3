#include "platform/mac/defaults_store_cf.h"

#include "platform/mac/property_list_cf.h"

namespace drivelark {

std::optional<PlistValue> CFPreferencesDefaultsStore::value(const std::string& key) {
    CFRef<CFPropertyListRef> stored = CFRef<CFPropertyListRef>::adopt(
        CFPreferencesCopyAppValue(makeCFString(key).get(), kCFPreferencesCurrentApplication));
    if (!stored) return std::nullopt;
    return valueFromCF(stored.get());
}

Status CFPreferencesDefaultsStore::setValue(const std::string& key, const PlistValue& value) {
    std::lock_guard lock(writing_);
    // A value that could not be written (a full disk) stays in CFPreferences' cache and goes to
    // disk with the next synchronisation that succeeds.
    CFPreferencesSetAppValue(makeCFString(key).get(), cfFromValue(value).get(), kCFPreferencesCurrentApplication);
    if (CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication)) return Status();
    return Status("CFPreferencesAppSynchronize for " + key);
}

}  // namespace drivelark
