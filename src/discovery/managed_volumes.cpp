#include "discovery/managed_volumes.h"

namespace drivelark {

namespace {

constexpr const char* kNamesKey = "managedNames";
constexpr const char* kDevicesKey = "managedDevs";
constexpr const char* kIdentitiesKey = "managedVolumes";

std::string valueOr(const TextMap& map, const std::string& key, std::string fallback) {
    auto found = map.find(key);
    return found == map.end() ? fallback : found->second;
}

}  // namespace

// A stored map counts only when it is a dictionary whose every value is a text.
TextMap ManagedVolumes::read(const char* key) const {
    std::optional<PlistValue> stored = defaults_.value(key);
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

void ManagedVolumes::update(const char* key, const std::string& mountPoint, const std::optional<std::string>& value) {
    TextMap map = read(key);
    if (value)
        map[mountPoint] = *value;
    else
        map.erase(mountPoint);
    PlistValue::Dictionary entries;
    for (const auto& [name, text] : map) entries.emplace(name, PlistValue(text));
    if (Status saved = defaults_.setValue(key, PlistValue(std::move(entries))); !saved.ok())
        log_.line(std::string("设置未能保存 ") + key + ": " + saved.toString());
}

std::vector<ManagedMount> ManagedVolumes::all() const {
    const TextMap names = read(kNamesKey), identities = read(kIdentitiesKey);
    std::vector<ManagedMount> mounts;
    for (const auto& [mountPoint, device] : read(kDevicesKey)) {
        mounts.push_back(ManagedMount{mountPoint, valueOr(names, mountPoint, mountPoint.substr(mountPoint.rfind('/') + 1)),
                                      device, valueOr(identities, mountPoint, "")});
    }
    return mounts;
}

std::optional<ManagedMount> ManagedVolumes::at(const std::string& mountPoint) const {
    for (ManagedMount& mount : all()) {
        if (mount.mountPoint == mountPoint) return std::move(mount);
    }
    return std::nullopt;
}

TextMap ManagedVolumes::managedDevs() const { return read(kDevicesKey); }

void ManagedVolumes::markManaged(const ManagedMount& mount) {
    update(kNamesKey, mount.mountPoint, mount.name);
    update(kDevicesKey, mount.mountPoint, mount.deviceID);
    update(kIdentitiesKey, mount.mountPoint, mount.identity);
}

void ManagedVolumes::unmarkManaged(const std::string& mountPoint) {
    for (const char* key : {kNamesKey, kDevicesKey, kIdentitiesKey}) update(key, mountPoint, std::nullopt);
}

}  // namespace drivelark
