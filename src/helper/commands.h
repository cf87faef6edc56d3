#pragma once

// The helper tool's commands, each in a source file of its own, and the handling of the system's
// own mount that they share.

#include <string>

#include "helper/helper_request.h"
#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

// "mount <device> <mount point> <volume name> <volume identity>": replaces the system's read-only
// mount of an NTFS volume with a read-write ntfs-3g mount, and succeeds only when the result is
// writable. It acts only on the volume the caller decided for, never takes the place of another
// volume, and when it fails after the system's mount was taken away, it mounts the device again
// as the system had it, unless ntfs-3g's own mount could not be taken away.
Outcome runMount(Session& session, const Request& request);

// "fix <device> <volume identity>": clears the mark that keeps ntfs-3g from mounting a volume
// read-write ("ntfsfix -d"), on the volume the caller decided for, when no ntfs-3g serves it and
// ntfs-3g.probe, asked at the last moment, says that Windows is not hibernated on it. The system's
// own read-only mount is taken away for the repair, and put back when the repair fails.
Outcome runFix(Session& session, const Request& request);

// "unmount <mount point>": a forced unmount of an ntfs-3g mount in /Volumes, chiefly one whose
// disk has been pulled out or whose ntfs-3g stopped answering. It acts only on what is provably
// ntfs-3g's: FUSE-T's mount at that place, served by a root ntfs-3g started for it, or served by
// no process at all any more. It never touches the mount's own file system, which may block for
// ever; the mount program's listing and ps tell it all it needs.
Outcome runUnmount(Session& session, const std::string& mountPoint);
// "diskutil unmount force", and when that fails "/sbin/umount -f". Succeeds when either does; the
// text holds both programs' output.
Outcome forceUnmount(Session& session, const std::string& mountPoint);

// The system's own mount of a device is taken away for the work and put back when the work fails,
// so that a failed operation leaves the disk readable as it was found.
// "diskutil unmount force <device>", and a plain unmount when that fails. Succeeds when either does.
Outcome unmountSystemMount(Session& session, const std::string& device);
// Mounts `device` again the way the system does ("diskutil mount"), and says so in `outcome`.
void restoreSystemMount(Session& session, Outcome& outcome, const std::string& device);

}  // namespace drivelark::helper
