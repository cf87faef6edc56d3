#pragma once

// What is mounted right now. The call runs the mount program afresh, on the main thread, and gives
// up after kMainThreadTimeLimit. The mount table also names the device behind each of the system's
// own mounts ("/dev/disk4s1 on ..."), so no disk-utility run per mount is needed for that.

#include <optional>

#include "discovery/mount_table.h"

namespace drivelark {

namespace DiskTopology {

// The mount table, from the mount program. None when it could not be read: that is not "nothing
// is mounted".
std::optional<MountTable> currentMounts();

}  // namespace DiskTopology

}  // namespace drivelark
