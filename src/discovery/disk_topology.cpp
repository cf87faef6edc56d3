#include "discovery/disk_topology.h"

#include "discovery/partition_listing.h"
#include "discovery/volume_description.h"
#include "foundation/command_runner.h"
#include "foundation/system_programs.h"

namespace drivelark {

namespace DiskTopology {

std::vector<NTFSPartition> ntfsPartitions() {
    CommandResult listing = runCommand(kDiskutilPath, {"list", "-plist"});
    if (listing.exit != 0) return {};
    return parsePartitionListing(listing.out);
}

MountTable currentMounts() {
    CommandResult listing = runCommand(kMountPath, {});
    if (listing.exit != 0) return {};
    return parseMountTable(listing.out);
}

std::string deviceOfMount(const std::string& mountPoint) {
    CommandResult info = runCommand(kDiskutilPath, {"info", "-plist", mountPoint});
    if (info.exit != 0) return {};
    std::optional<VolumeDescription> description = parseVolumeDescription(info.out);
    if (!description || !description->deviceIdentifier) return {};
    return *description->deviceIdentifier;
}

}  // namespace DiskTopology

}  // namespace drivelark
