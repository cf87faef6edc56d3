#!/usr/bin/python3 -I
"""/sbin/mount of the simulated Mac.

Without arguments it lists the mount table as macOS prints it: the fixed
lines of the internal APFS disk, then the namespace's real mounts in kernel
order, written the Mac's way (a mount with a source "host:/path" as an NFS
share). The plumbing that makes up the environment
(overlays, tmpfs, proc, ...) is left out. Nothing is ever stat'ed, so a dead
FUSE mount (a yanked disk) is listed like any other.

With arguments, root gets util-linux's mount (kept aside for that); the
Mac's mount options are not translated.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, faults, layout, mounttab, users  # noqa: E402
from simlib.state import StateFile  # noqa: E402

SYSTEM_LINES = [
    "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)",
    "devfs on /dev (devfs, local, nobrowse)",
    "/dev/disk3s6 on /System/Volumes/VM (apfs, local, noexec, journaled, noatime, nobrowse)",
    "/dev/disk3s2 on /System/Volumes/Preboot (apfs, local, journaled, nobrowse)",
    "/dev/disk3s4 on /System/Volumes/Update (apfs, local, journaled, nobrowse)",
    "/dev/disk3s5 on /System/Volumes/Data (apfs, local, journaled, nobrowse, protect, root data)",
    "map auto_home on /System/Volumes/Data/home (autofs, automounted, nobrowse)",
]

# A mount whose source reads "host:/path" (a tmpfs mounted so) stands for an NFS share.
SHARE = re.compile(r"^[A-Za-z0-9.-]+:/")

# How the system's own mounts of each file system read.
SYSTEM_OPTIONS = {
    "ntfs": "ntfs, local, nodev, nosuid, read-only, noowners",
    "msdos": "msdos, local, nodev, nosuid, noowners",
    "exfat": "exfat, local, nodev, nosuid, noowners",
}


def lines(state, mounts):
    plumbing = mounttab.plumbing()
    system = {r["mount_point"]: r for r in mounttab.live_system_mounts(state, mounts)}
    out = list(SYSTEM_LINES)
    for m in mounts:
        if mounttab.is_plumbing(m, plumbing):
            continue
        rec = system.get(m.mount_point)
        if rec is not None:
            out.append("/dev/%s on %s (%s)" % (rec["device"], m.mount_point, SYSTEM_OPTIONS[rec["fstype"]]))
        elif m.is_fuse:
            out.append(fuse_t_line(state, m))
        elif SHARE.match(m.source):
            out.append("%s on %s (nfs, nodev, nosuid)" % (m.source, m.mount_point))
        else:
            opts = [m.fstype, "local"] + (["read-only"] if m.read_only else [])
            out.append("%s on %s (%s)" % (m.source, m.mount_point, ", ".join(opts)))
    return out


def fuse_t_line(state, m):
    """ntfs-3g's mounts, as they look through FUSE-T (an NFS mount served by
    the FUSE-T daemon): named after the volname option the mount was made
    with, else after its mount point."""
    rec = state.get("user_mounts", {}).get(m.mount_point)
    if rec and rec.get("image") == m.source and rec.get("volname"):
        name = rec["volname"]
    else:
        name = os.path.basename(m.mount_point)
    uid = m.super_option("user_id")
    who = users.user_name(int(uid)) if uid and uid.isdigit() else "root"
    opts = ["nfs", "nodev", "nosuid"] + (["read-only"] if m.read_only else []) + ["mounted by " + who]
    return "fuse-t:/%s on %s (%s)" % (name, m.mount_point, ", ".join(opts))


def main(argv):
    caller = audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/sbin/mount"), args)
    if args:
        if caller != 0:
            sys.stderr.write("mount: only root can do that\n")
            return 1
        os.execv(layout.REAL_MOUNT, ["mount"] + args)
    fault = faults.active("mount")
    if fault:
        return faults.act("mount", fault)
    st = StateFile().read()
    text = "\n".join(lines(st, mounttab.read_mountinfo())) + "\n"
    sys.stdout.buffer.write(text.encode("utf-8", "surrogateescape"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
