#include "discovery/disk_topology.h"

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"

namespace drivelark {

namespace DiskTopology {

std::optional<MountTable> currentMounts(Processes& processes) {
    CommandResult listing = runCommand(processes, kMountPath, {}, kListingTimeLimit);
    if (!listing.succeeded()) return std::nullopt;
    MountTable table = parseMountTable(listing.out);
    // Every real table has the root file system: without it, the output was not a mount table.
    if (!table.contains("/")) return std::nullopt;
    return table;
}

std::optional<PlistValue> describeDevice(Processes& processes, const std::string& deviceID) {
    CommandResult info = runCommand(processes, kDiskutilPath, {"info", "-plist", deviceID}, kListingTimeLimit);
    if (!info.succeeded()) return std::nullopt;
    std::optional<PlistValue> description = parsePropertyList(info.out);
    const std::string* described = description ? description->textAt("DeviceIdentifier") : nullptr;
    if (described == nullptr || *described != deviceID) return std::nullopt;
    return description;
}

std::optional<std::vector<Process>> runningPrograms(Processes& processes) {
    ProgramRun listing = runProgram(processes, kPsPath, kProcessListArguments, kListingTimeLimit);
    if (!listing.launch.ok() || listing.timedOut || listing.status != 0) return std::nullopt;
    return parseProcessList(listing.output, processes.ownProcessId());
}

}  // namespace DiskTopology

}  // namespace drivelark
