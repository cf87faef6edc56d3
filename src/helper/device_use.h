#pragma once

// Who uses a device: the mounts the mount table shows, the ntfs-3g programs that serve it, and
// other processes' locks on it. Through FUSE-T an ntfs-3g mount shows in the mount table as
// "fuse-t:/NAME", not as its device, and ntfs-3g drops its lock once it runs in the background:
// only its arguments tell which device it serves.

#include <optional>
#include <string>
#include <string_view>

#include "discovery/mount_table.h"
#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// Reads the mount table into `table`; says why when it cannot.
std::optional<Outcome> readMountTable(MountTable& table);

// The mount point at which `table` shows "/dev/<device>" mounted, if any.
std::optional<std::string> mountPointOfDevice(const MountTable& table, std::string_view device);

// The process id of an ntfs-3g in `processes` (lines of "pid args", as "ps -A -ww -o pid=,args="
// prints them) that has /dev/<device> or /dev/r<device> among its arguments.
std::optional<int> ntfs3gServing(std::string_view processes, std::string_view device);

// Refuses when a running ntfs-3g serves the device, and when the running programs cannot be
// listed, since then nobody can tell. An ntfs-3g whose volume was just ejected is still writing
// it back: it is given a few seconds to end before the refusal.
std::optional<Outcome> stopIfServedByNtfs3g(HelperSystem& system, const std::string& device);

// Refuses when another process holds a lock on the device. A system that keeps no lock
// information for device files is no objection: the other checks stand.
std::optional<Outcome> stopIfLockedByOther(HelperSystem& system, const std::string& device);

}  // namespace drivelark::helper
