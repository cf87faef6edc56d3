#include "helper/ntfs_device.h"

#include <cerrno>

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "discovery/volume_description.h"
#include "helper/boot_sector.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

std::optional<Outcome> stopUnlessNtfsDevice(HelperSystem& system, const std::string& device) {
    CommandResult described = runCommand(kDiskutilPath, {"info", "-plist", device});
    std::optional<VolumeDescription> info =
        described.exit == 0 ? parseVolumeDescription(described.out) : std::nullopt;
    if (!info || info->deviceIdentifier != device) return refused("the disk utility does not know " + device);

    std::string node = "/dev/" + device;
    DeviceBytes sector = system.readStart(node, kBootSectorSize);
    if (sector.error != 0) return refused("cannot read the boot sector of " + node + ": " + errorText(sector.error));
    if (!isNtfsBootSector(sector.bytes)) return refused(node + " does not hold an NTFS file system; not touching it");
    return std::nullopt;
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
