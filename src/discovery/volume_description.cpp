#include "discovery/volume_description.h"

#include "platform/property_list.h"

namespace drivelark {

namespace {

std::optional<std::string> optionalText(const PlistValue& root, const char* key) {
    const std::string* text = root.textAt(key);
    return text == nullptr ? std::nullopt : std::optional<std::string>(*text);
}

}  // namespace

std::optional<VolumeDescription> parseVolumeDescription(std::string_view description) {
    std::optional<PlistValue> root = parsePropertyList(description);
    if (!root || root->dictionary() == nullptr) return std::nullopt;
    return VolumeDescription{optionalText(*root, "DeviceIdentifier"), optionalText(*root, "VolumeName"),
                             optionalText(*root, "MountPoint"), optionalText(*root, "FilesystemType")};
}

}  // namespace drivelark
