#pragma once

// "unmount <mount point>": a forced unmount of an ntfs-3g mount in /Volumes, chiefly one whose
// disk has been pulled out or whose ntfs-3g stopped answering. It acts only on what is provably
// ntfs-3g's: FUSE-T's mount at that place, served by a root ntfs-3g started for it, or served by
// no process at all any more. It never touches the mount's own file system, which may block for
// ever; the mount program's listing and ps tell it all it needs.

#include <string>

#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

// "diskutil unmount force", and when that fails "/sbin/umount -f". Succeeds when either does; the
// text holds both programs' output.
Outcome forceUnmount(Session& session, const std::string& mountPoint);

Outcome runUnmount(Session& session, const std::string& mountPoint);

}  // namespace drivelark::helper
