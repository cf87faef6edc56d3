#pragma once

// "fix <device>": clears the dirty and hibernation mark that keeps ntfs-3g from mounting a
// volume read-write ("ntfsfix -d"), on an unmounted NTFS device that Windows did not leave
// hibernated.

#include <string>

#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

Outcome runFix(HelperSystem& system, const std::string& device);

}  // namespace drivelark::helper
