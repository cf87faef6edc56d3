#pragma once

// "mount <device> <mount point> <volume name> <volume identity>": replaces the system's read-only
// mount of an NTFS volume with a read-write ntfs-3g mount, and succeeds only when the result is
// writable. It acts only on the volume the caller decided for, never takes the place of another
// volume, and when it fails after the system's mount was taken away, it mounts the device again
// as the system had it, unless ntfs-3g's own mount could not be taken away.

#include "helper/helper_request.h"
#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

Outcome runMount(Session& session, const Request& request);

}  // namespace drivelark::helper
