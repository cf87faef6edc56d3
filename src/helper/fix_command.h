#pragma once

// "fix <device> <volume identity>": clears the mark that keeps ntfs-3g from mounting a volume
// read-write ("ntfsfix -d"), on the volume the caller decided for, when no ntfs-3g serves it and
// ntfs-3g.probe, asked at the last moment, says that Windows is not hibernated on it. The system's
// own read-only mount is taken away for the repair, and put back when the repair fails.

#include <string>

#include "helper/helper_request.h"
#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

Outcome runFix(Session& session, const Request& request);

}  // namespace drivelark::helper
