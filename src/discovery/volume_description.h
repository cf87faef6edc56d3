#pragma once

// Reading the disk utility's description of one volume ("diskutil info -plist <mount point>").

#include <optional>
#include <string>
#include <string_view>

namespace drivelark {

struct VolumeDescription {
    std::optional<std::string> deviceIdentifier;  // "DeviceIdentifier", when present as text
    std::optional<std::string> volumeName;        // "VolumeName", when present as text
    std::optional<std::string> mountPoint;        // "MountPoint": present only while mounted
    std::optional<std::string> fileSystemType;    // "FilesystemType": "ntfs", "exfat", "msdos", ...

    bool operator==(const VolumeDescription&) const = default;
};

// None when `description` is not a property list whose root is a dictionary.
std::optional<VolumeDescription> parseVolumeDescription(std::string_view description);

}  // namespace drivelark
