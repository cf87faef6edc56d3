#pragma once

// "mount <device> <mount-point> <volume-name>": replaces the system's read-only mount of an NTFS
// partition with a read-write ntfs-3g mount, and succeeds only when the result is writable. It
// never takes the place of another volume, and when it fails after the system's mount was taken
// away, it mounts the device again as the system had it.

#include <chrono>
#include <string_view>

#include "helper/helper_request.h"
#include "helper/helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper {

// How long a mount may take to appear after ntfs-3g returns (FUSE-T mounts show up late).
inline constexpr std::chrono::milliseconds kMountPollInterval{100};
inline constexpr int kMountPolls = 100;

// True when ntfs-3g's output says it mounted read-only instead: it does that, and exits 0, for
// a hibernated or fast-started volume.
bool isReadOnlyFallBack(std::string_view ntfs3gOutput);

Outcome runMount(HelperSystem& system, const Request& request);

}  // namespace drivelark::helper
