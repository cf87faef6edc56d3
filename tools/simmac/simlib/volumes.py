"""Mounting and unmounting volumes for real, as the simulated system does.

The system's mounts are FUSE mounts (the kernel here has no NTFS, FAT or
exFAT driver of its own); each runs its daemon in the foreground under a
known pid, which the state records.
"""
import errno
import os
import subprocess

from . import layout, mounttab, procs, sysmount, waiting

VOLUMES = "/Volumes"


def mount_point_for(name):
    """/Volumes/<name>, as macOS picks it: "Untitled" for a volume without a
    name; a '/' in the name becomes ':' (what the Finder's '/' is at the
    POSIX level); a name already taken gets " 1", " 2", ..."""
    base = (name or "Untitled").replace("/", ":")
    candidate = os.path.join(VOLUMES, base)
    n = 1
    while os.path.lexists(candidate):
        candidate = os.path.join(VOLUMES, "%s %d" % (base, n))
        n += 1
    return candidate


def start_system_mount(part, dev_path, mp):
    """Mounts a partition the way the system does when a disk arrives.
    Returns the state record of the mount."""
    fs = part["fs"]
    log_path = os.path.join(layout.DAEMON_LOGS, part["id"] + ".log")
    loop_fd = None
    if fs == "ntfs":
        # macOS's own NTFS driver only reads.
        argv = [layout.NTFS3G, "-o", "ro,no_detach", dev_path, mp]
        kind = "ntfs"
    elif fs in ("fat32", "efi"):
        argv = ["/usr/bin/fusefat", "-f", "-o", "rw+,allow_other,uid=%d,gid=%d,umask=022" % (layout.UID, layout.GID),
                part["image"], mp]
        kind = "msdos"
    elif fs == "exfat":
        # exfat-fuse wants a block device when run as root.
        loop_path, loop_fd = sysmount.loop_attach(part["image"])
        argv = ["/usr/sbin/mount.exfat-fuse", "-d", "-o", "uid=%d,gid=%d" % (layout.UID, layout.GID), loop_path, mp]
        kind = "exfat"
    else:
        raise ValueError("the system does not mount %r" % fs)
    os.makedirs(mp)
    with open(log_path, "ab") as log:
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                             start_new_session=True, close_fds=True, cwd="/")
    try:
        waiting.until(lambda: mounttab.mounted_at(mp) or p.poll() is not None, 15, "the mount of " + mp)
    finally:
        if loop_fd is not None:
            os.close(loop_fd)   # the daemon holds the loop device now (autoclear)
    if p.poll() is not None:
        os.rmdir(mp)
        with open(log_path, "rb") as f:
            raise RuntimeError("mounting %s at %s failed: %s" % (part["id"], mp, f.read().decode("utf-8", "replace")))
    # The daemon is reaped by whoever inherits it; this process ends soon.
    p.returncode = 0
    return {"device": part["id"], "mount_point": mp, "fstype": kind,
            "pid": p.pid, "start": procs.starttime(p.pid)}


class Result:
    def __init__(self, ok, why=None, holders=()):
        self.ok, self.why, self.holders = ok, why, list(holders)


def unmount(mp, force=False, record=None):
    """Unmounts mp. Plain unmount first; with force, a busy volume is aborted and, if still held,
    detached lazily (a dead FUSE mount needs that when someone still sits in it). Then waits for
    the daemon (the record's, else whoever holds the mount's source open) to write everything
    back, unless the detach was lazy. Removes a /Volumes mount point afterwards, as macOS does."""
    m = mounttab.mounted_at(mp)
    if m is None:
        return Result(False, "not mounted")
    daemons = [(record["pid"], record["start"])] if record else \
        [(p, procs.starttime(p)) for p in procs.openers(m.source)] if m.source.startswith("/") else []
    try:
        sysmount.umount(mp)
    except OSError as e:
        if e.errno != errno.EBUSY:
            return Result(False, os.strerror(e.errno))
        if not force:
            return Result(False, "busy", holders=procs.holders(mp, exclude={os.getpid()}))
        try:
            sysmount.umount(mp, sysmount.MNT_FORCE)
        except OSError:
            try:
                sysmount.umount(mp, sysmount.MNT_DETACH)
            except OSError as e2:
                return Result(False, os.strerror(e2.errno))
            daemons = []
    # A stopped daemon writes nothing back: macOS does not wait for a FUSE-T server either.
    for pid, start in daemons:
        try:
            waiting.until(lambda: not procs.alive(pid, start) or procs.stopped(pid), 15, "the daemon %d" % pid)
        except waiting.Timeout:
            pass
    if os.path.dirname(mp) == VOLUMES:
        try:
            os.rmdir(mp)
        except OSError:
            pass
    return Result(True)
