#include "discovery/disk_topology.h"

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

}  // namespace DiskTopology

}  // namespace drivelark
