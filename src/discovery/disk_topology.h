#pragma once

// What is mounted right now, and the device behind a mount. Each call runs its program afresh,
// on the main thread, and gives up after kMainThreadTimeLimit.

#include <optional>
#include <string>

#include "discovery/mount_table.h"

namespace drivelark {

namespace DiskTopology {

// The mount table, from the mount program. None when it could not be read: that is not "nothing
// is mounted".
std::optional<MountTable> currentMounts();

// The BSD name of the device mounted at `mountPoint`, or empty when the disk utility cannot say.
std::string deviceOfMount(const std::string& mountPoint);

}  // namespace DiskTopology

}  // namespace drivelark
