#include "discovery/disk_topology.h"

#include "discovery/volume_description.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"

namespace drivelark {

namespace DiskTopology {

std::optional<MountTable> currentMounts() {
    CommandResult listing = runCommand(kMountPath, {}, kMainThreadTimeLimit);
    if (listing.exit != 0) return std::nullopt;
    MountTable table = parseMountTable(listing.out);
    // Every real table has the root file system: without it, the output was not a mount table.
    if (!table.contains("/")) return std::nullopt;
    return table;
}

std::string deviceOfMount(const std::string& mountPoint) {
    CommandResult info = runCommand(kDiskutilPath, {"info", "-plist", mountPoint}, kMainThreadTimeLimit);
    if (info.exit != 0) return {};
    std::optional<VolumeDescription> description = parseVolumeDescription(info.out);
    if (!description || !description->deviceIdentifier) return {};
    return *description->deviceIdentifier;
}

}  // namespace DiskTopology

}  // namespace drivelark
