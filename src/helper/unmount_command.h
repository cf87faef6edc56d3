#pragma once

// "unmount <mount-point>": a forced unmount of whatever is mounted at a place in /Volumes,
// chiefly FUSE mounts whose disk has been pulled out.

#include <string>

#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// "diskutil unmount force", and when that fails "umount -f" (the first umount that exists).
// Succeeds when either does; the text holds both programs' output.
Outcome forceUnmount(HelperSystem& system, const std::string& mountPoint);

Outcome runUnmount(HelperSystem& system, const std::string& mountPoint);

}  // namespace drivelark::helper
