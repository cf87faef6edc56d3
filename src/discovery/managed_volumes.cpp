#include "discovery/managed_volumes.h"

#include "foundation/app_log.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

constexpr const char* kNamesKey = "managedNames";
constexpr const char* kDevicesKey = "managedDevs";
constexpr const char* kIdentitiesKey = "managedVolumes";

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
    if (Status saved = platform().defaults.setValue(key, PlistValue(std::move(entries))); !saved.ok())
        AppLog::line(std::string("设置未能保存 ") + key + ": " + saved.toString());
}

void update(const char* key, const std::string& mountPoint, const std::optional<std::string>& value) {
    TextMap map = readTextMap(key);
    if (value)
        map[mountPoint] = *value;
    else
        map.erase(mountPoint);
    writeTextMap(key, map);
}

std::string valueOr(const TextMap& map, const std::string& key, std::string fallback) {
    auto found = map.find(key);
    return found == map.end() ? fallback : found->second;
}

}  // namespace

namespace ManagedVolumes {

std::vector<ManagedMount> all() {
    const TextMap names = readTextMap(kNamesKey), identities = readTextMap(kIdentitiesKey);
    std::vector<ManagedMount> mounts;
    for (const auto& [mountPoint, device] : readTextMap(kDevicesKey)) {
        mounts.push_back(ManagedMount{mountPoint, valueOr(names, mountPoint, mountPoint.substr(mountPoint.rfind('/') + 1)),
                                      device, valueOr(identities, mountPoint, "")});
    }
    return mounts;
}

std::optional<ManagedMount> at(const std::string& mountPoint) {
    for (ManagedMount& mount : all()) {
        if (mount.mountPoint == mountPoint) return std::move(mount);
    }
    return std::nullopt;
}

TextMap managedDevs() { return readTextMap(kDevicesKey); }

void markManaged(const ManagedMount& mount) {
    update(kNamesKey, mount.mountPoint, mount.name);
    update(kDevicesKey, mount.mountPoint, mount.deviceID);
    update(kIdentitiesKey, mount.mountPoint, mount.identity);
}

void unmarkManaged(const std::string& mountPoint) {
    for (const char* key : {kNamesKey, kDevicesKey, kIdentitiesKey}) update(key, mountPoint, std::nullopt);
}

}  // namespace ManagedVolumes

}  // namespace drivelark
