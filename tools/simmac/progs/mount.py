#!/usr/bin/python3 -I
"""/sbin/mount of the simulated Mac: without arguments, the mount table as
macOS prints it (the one form Drivelark runs): the fixed lines of the
internal APFS disk, then the namespace's real mounts in kernel order, written
the Mac's way (ntfs-3g's as FUSE-T shows them, a mount whose source reads
"host:/path" as an NFS share). The plumbing that makes up the environment
(overlays, tmpfs, proc, ...) is left out. Nothing is ever stat'ed, so a dead
FUSE mount (a yanked disk) is listed like any other. Mounting with it is not
simulated (util-linux's /usr/bin/mount mounts).
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, faults, mounttab, procs, users  # noqa: E402
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


def volume_names():
    """Mount point -> the volname that this Mac's ntfs-3g serving it was started with."""
    names, me = {}, procs.ns_inode(os.getpid())
    for pid in procs.all_pids():
        argv = procs.cmdline(pid)
        if argv[:1] and os.path.basename(argv[0]) == "ntfs-3g" and procs.ns_inode(pid) == me:
            options = ",".join(argv[i + 1] for i in range(len(argv) - 1) if argv[i] == "-o").split(",")
            places = [a for a, before in zip(argv[1:], argv) if not a.startswith("-") and before != "-o"]
            volname = next((o[len("volname="):] for o in options if o.startswith("volname=")), None)
            if volname is not None and places:
                names[os.path.normpath(places[-1])] = volname
    return names


def lines(state, mounts):
    plumbing = mounttab.plumbing()
    system = {r["mount_point"]: r for r in mounttab.live_system_mounts(state, mounts)}
    names = volume_names()
    out = list(SYSTEM_LINES)
    for m in mounts:
        if mounttab.is_plumbing(m, plumbing):
            continue
        rec = system.get(m.mount_point)
        if rec is not None:
            out.append("/dev/%s on %s (%s)" % (rec["device"], m.mount_point, SYSTEM_OPTIONS[rec["fstype"]]))
        elif m.is_fuse:
            # FUSE-T serves the mount over NFS, named after the volname it was made with.
            uid = m.super_option("user_id")
            opts = ["nfs", "nodev", "nosuid"] + (["read-only"] if m.read_only else []) + \
                ["mounted by " + (users.user_name(int(uid)) if uid and uid.isdigit() else "root")]
            name = names.get(m.mount_point, os.path.basename(m.mount_point))
            out.append("fuse-t:/%s on %s (%s)" % (name, m.mount_point, ", ".join(opts)))
        elif SHARE.match(m.source):
            out.append("%s on %s (nfs, nodev, nosuid)" % (m.source, m.mount_point))
        else:
            opts = [m.fstype, "local"] + (["read-only"] if m.read_only else [])
            out.append("%s on %s (%s)" % (m.source, m.mount_point, ", ".join(opts)))
    return out


def main(argv):
    audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/sbin/mount"), args)
    if args:
        sys.stderr.write("mount (simulated): only the listing is simulated, not %r\n" % args)
        return 1
    fault = faults.active("mount")
    if fault:
        return faults.act("mount", fault)
    st = StateFile().read()
    text = "\n".join(lines(st, mounttab.read_mountinfo())) + "\n"
    sys.stdout.buffer.write(text.encode("utf-8", "surrogateescape"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
