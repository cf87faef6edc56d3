#!/usr/bin/python3 -I
"""/sbin/umount of the simulated Mac: `umount [-f] MOUNTPOINT`, for root.
Not setuid, as on a Mac. It never looks at the mount point itself, so a
mount whose file system stopped answering is unmounted like any other;
with -f a busy mount goes too (detached, as macOS's forced unmount takes it
away whoever uses it).
"""
import errno
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, mounttab, sysmount  # noqa: E402


def main(argv):
    args = argv[1:]
    audit.record(argv[0], args)
    force = bool(args) and args[0] == "-f"
    if force:
        args = args[1:]
    if len(args) != 1 or args[0].startswith("-"):
        sys.stderr.write("usage: umount [-fv] [-t fstypelist] special ... | node ...\n")
        return 1
    mp = os.path.normpath(args[0])
    m = mounttab.mounted_at(mp)
    if m is None or mounttab.is_plumbing(m, mounttab.plumbing()):
        sys.stderr.write("umount: %s: not currently mounted\n" % args[0])
        return 1
    try:
        if os.geteuid() != 0:
            raise OSError(errno.EPERM, "")
        try:
            sysmount.umount(mp, sysmount.MNT_FORCE if force else 0)
        except OSError as e:
            if not (force and e.errno == errno.EBUSY):
                raise
            sysmount.umount(mp, sysmount.MNT_DETACH)
    except OSError as e:
        sys.stderr.write("umount: unmount(%s): %s\n" % (mp, os.strerror(e.errno)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
