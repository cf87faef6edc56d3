// The managed-volume registry of VolumeScanner.

#include "discovery/volume_scanner.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

constexpr const char* kNamesKey = "managedNames";
constexpr const char* kDevsKey = "managedDevs";

// A stored map counts only when it is a dictionary whose every value is a text.
TextMap readTextMap(const char* key) {
    std::optional<PlistValue> stored = platform().defaults.value(key);
    const PlistValue::Dictionary* entries = stored ? stored->dictionary() : nullptr;
    if (entries == nullptr) return {};
    TextMap map;
    for (const auto& [name, value] : *entries) {
        const std::string* text = value.text();
        if (text == nullptr) return {};
        map.emplace(name, *text);
    }
    return map;
}

void writeTextMap(const char* key, const TextMap& map) {
    PlistValue::Dictionary entries;
    for (const auto& [name, text] : map) entries.emplace(name, PlistValue(text));
    platform().defaults.setValue(key, PlistValue(std::move(entries)));
}

}  // namespace

namespace VolumeScanner {

TextMap managedNames() { return readTextMap(kNamesKey); }
void setManagedNames(const TextMap& names) { writeTextMap(kNamesKey, names); }
TextMap managedDevs() { return readTextMap(kDevsKey); }
void setManagedDevs(const TextMap& devices) { writeTextMap(kDevsKey, devices); }

void markManaged(const std::string& mountPoint, const std::string& name, const std::string& dev) {
    TextMap names = managedNames();
    names[mountPoint] = name;
    setManagedNames(names);
    TextMap devices = managedDevs();
    devices[mountPoint] = dev;
    setManagedDevs(devices);
}

void unmarkManaged(const std::string& mountPoint) {
    TextMap names = managedNames();
    names.erase(mountPoint);
    setManagedNames(names);
    TextMap devices = managedDevs();
    devices.erase(mountPoint);
    setManagedDevs(devices);
}

}  // namespace VolumeScanner

}  // namespace drivelark
