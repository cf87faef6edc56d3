#pragma once

// What the system says about its disks, read from its programs: the mount table, a device's own
// description and the running ntfs-3g programs. Each call runs its program afresh and gives up after
// kListingTimeLimit. They block: background threads only.

#include <optional>
#include <string>
#include <vector>

#include "discovery/mount_table.h"
#include "discovery/process_list.h"
#include "platform/processes.h"
#include "platform/property_list.h"

namespace drivelark {

namespace DiskTopology {

// The mount table, from the mount program. None when it could not be read: that is not "nothing
// is mounted".
std::optional<MountTable> currentMounts(Processes& processes);

// The disk utility's description of `deviceID` ("diskutil info -plist"), when it describes that
// very device.
std::optional<PlistValue> describeDevice(Processes& processes, const std::string& deviceID);

// The running programs. None when the process listing could not be read whole.
std::optional<std::vector<Process>> runningPrograms(Processes& processes);

}  // namespace DiskTopology

}  // namespace drivelark
