#pragma once

// "fix <device>": clears the dirty and hibernation mark that keeps ntfs-3g from mounting a
// volume read-write ("ntfsfix -d"), on an NTFS device that no ntfs-3g serves and that Windows
// did not leave hibernated. The system's own read-only mount is taken away for the repair, and
// put back when the repair fails.

#include <string>

#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

Outcome runFix(HelperSystem& system, const std::string& device);

}  // namespace drivelark::helper
