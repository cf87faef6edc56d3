#include "helper/ntfs_device.h"

#include <cerrno>

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "helper/boot_sector.h"
#include "platform/posix/posix_error.h"
#include "platform/property_list.h"

namespace drivelark::helper {

std::optional<DiskInfo> parseDiskInfo(std::string_view plist) {
    std::optional<PlistValue> root = parsePropertyList(plist);
    if (!root || root->dictionary() == nullptr) return std::nullopt;
    const std::string* identifier = root->textAt("DeviceIdentifier");
    if (identifier == nullptr) return std::nullopt;
    const std::string* mountPoint = root->textAt("MountPoint");
    return DiskInfo{*identifier, mountPoint == nullptr ? std::string() : *mountPoint};
}

DeviceCheck checkNtfsDevice(HelperSystem& system, const std::string& device) {
    CommandResult described = runCommand(kDiskutilPath, {"info", "-plist", device});
    std::optional<DiskInfo> info = described.exit == 0 ? parseDiskInfo(described.out) : std::nullopt;
    if (!info || info->deviceIdentifier != device)
        return DeviceCheck{refused("the disk utility does not know " + device), {}};

    std::string node = "/dev/" + device;
    DeviceBytes sector = system.readStart(node, kBootSectorSize);
    if (sector.error != 0)
        return DeviceCheck{refused("cannot read the boot sector of " + node + ": " + errorText(sector.error)), {}};
    if (!isNtfsBootSector(sector.bytes))
        return DeviceCheck{refused(node + " does not hold an NTFS file system; not touching it"), {}};
    return DeviceCheck{std::nullopt, *info};
}

bool isWriteDenial(int error) { return error == EPERM || error == EACCES || error == EROFS; }

std::optional<Outcome> stopIfWritesRefused(HelperSystem& system, const std::string& device) {
    std::string raw = "/dev/r" + device;
    int error = system.openForWriting(raw);
    if (error == 0) return std::nullopt;
    if (isWriteDenial(error))
        return failed("__WRITE_DENIED__ the system refuses to open " + raw + " for writing (" + errorText(error) + ")");
    return failed("cannot open " + raw + " for writing: " + errorText(error));
}

}  // namespace drivelark::helper
