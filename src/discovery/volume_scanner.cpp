#include "discovery/volume_scanner.h"

#include "discovery/disk_topology.h"
#include "discovery/volume_description.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "platform/platform.h"

namespace drivelark {

namespace {

constexpr const char* kVolumesFolder = "/Volumes";

bool isUserSpaceDriverType(const std::string& type) {
    return type == "nfs" || type == "fusefs_ntfs" || type == "ntfs-3g";
}

// A real mount point: a directory itself (not a link to one) on a real device.
bool isMountedDirectory(Files& files, const std::string& path) {
    std::optional<FileStatus> status = files.lstat(path);
    return status && status->isDirectory && status->device != 0;
}

VolumeInfo describeReadOnly(const std::string& mountPoint, const std::string& entryName) {
    VolumeInfo volume{"", mountPoint, entryName, VolumeInfo::Kind::ntfsReadOnly};
    CommandResult info = runCommand(kDiskutilPath, {"info", "-plist", mountPoint}, kMainThreadTimeLimit);
    if (info.exit != 0) return volume;
    if (std::optional<VolumeDescription> description = parseVolumeDescription(info.out)) {
        if (description->deviceIdentifier) volume.deviceID = *description->deviceIdentifier;
        if (description->volumeName) volume.name = *description->volumeName;
    }
    return volume;
}

VolumeInfo describeReadWrite(const std::string& mountPoint, const std::string& entryName) {
    VolumeInfo volume{"", mountPoint, entryName, VolumeInfo::Kind::ntfsReadWrite};
    TextMap devices = VolumeScanner::managedDevs();
    if (auto device = devices.find(mountPoint); device != devices.end()) volume.deviceID = device->second;
    TextMap names = VolumeScanner::managedNames();
    if (auto name = names.find(mountPoint); name != names.end()) volume.name = name->second;
    return volume;
}

}  // namespace

namespace VolumeScanner {

std::vector<VolumeInfo> scan() {
    Files& files = platform().files;
    std::vector<std::string> entries = files.listDirectory(kVolumesFolder).value_or(std::vector<std::string>{});
    MountTable mounts = DiskTopology::currentMounts().value_or(MountTable{});

    std::vector<VolumeInfo> volumes;
    for (const std::string& entry : entries) {
        if (entry.empty() || entry.front() == '.') continue;
        std::string mountPoint = std::string(kVolumesFolder) + "/" + entry;
        if (!isMountedDirectory(files, mountPoint)) continue;
        auto mount = mounts.find(mountPoint);
        if (mount == mounts.end()) continue;
        if (mount->second.readOnly) {
            if (mount->second.type == "ntfs") volumes.push_back(describeReadOnly(mountPoint, entry));
        } else if (isUserSpaceDriverType(mount->second.type)) {
            volumes.push_back(describeReadWrite(mountPoint, entry));
        }
    }
    return volumes;
}

}  // namespace VolumeScanner

}  // namespace drivelark
