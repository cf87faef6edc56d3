#pragma once

// Whether a device is mounted or held open for writing. ntfsfix refuses a read-write mount but
// not a read-only one, which it would change underneath the mounted file system.

#include <optional>
#include <string>
#include <string_view>

#include "helper/helper_system.h"
#include "helper/ntfs_device.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// True when the mount program's listing has a line beginning "/dev/<device> on ".
bool listsDevice(std::string_view listing, std::string_view device);

// Refuses when the mount listing shows the device, the disk utility gives it a mount point
// (`info`), or another process (a read-write ntfs-3g) holds a lock on it.
std::optional<Outcome> stopIfInUse(HelperSystem& system, const std::string& device, const VolumeDescription& info);

}  // namespace drivelark::helper
