#pragma once

// The system's own mount of a device, taken away for the work and put back when the work fails,
// so that a failed operation leaves the disk readable as it was found.

#include <string>

#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

// "diskutil unmount force <device>", and a plain unmount when that fails. Succeeds when either does.
Outcome unmountSystemMount(Session& session, const std::string& device);

// Mounts `device` again the way the system does ("diskutil mount"), and says so in `outcome`.
void restoreSystemMount(Session& session, Outcome& outcome, const std::string& device);

}  // namespace drivelark::helper
