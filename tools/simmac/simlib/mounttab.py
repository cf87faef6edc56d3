"""The namespace's real mount table, and what the simulated system knows
about the mounts it made itself.

The kernel's table (/proc/self/mountinfo) is the truth about what is
mounted. A mount that the simulated system made when a disk was attached is
recorded with the pid and start time of its FUSE daemon: the record counts
only while that daemon lives and the mount point is still mounted, so a
mount removed behind the simulator's back (umount, a killed daemon) stops
counting as the system's without anyone having to tell it.
"""
import json
import os
import re

from . import layout, procs


class Mount:
    __slots__ = ("mount_id", "parent_id", "devno", "root", "mount_point", "options",
                 "fstype", "source", "super_options")

    def __init__(self, **kw):
        for k, v in kw.items():
            setattr(self, k, v)

    @property
    def read_only(self):
        return "ro" in self.options.split(",")

    @property
    def is_fuse(self):
        return self.fstype in ("fuse", "fuseblk") or self.fstype.startswith(("fuse.", "fuseblk."))

    def super_option(self, name):
        for opt in self.super_options.split(","):
            if opt.startswith(name + "="):
                return opt[len(name) + 1:]
        return None


def unescape(field):
    """mountinfo writes blank, tab, newline and backslash as octal escapes."""
    raw = os.fsencode(field)
    out = re.sub(rb"\\([0-7]{3})", lambda m: bytes([int(m.group(1), 8)]), raw)
    return os.fsdecode(out)


def parse_mountinfo(text):
    mounts = []
    for line in text.splitlines():
        if not line.strip():
            continue
        left, _, right = line.partition(" - ")
        f = left.split(" ")
        r = right.split(" ")
        if len(f) < 6 or len(r) < 3:
            continue
        mounts.append(Mount(mount_id=int(f[0]), parent_id=int(f[1]), devno=f[2],
                            root=unescape(f[3]), mount_point=unescape(f[4]), options=f[5],
                            fstype=r[0], source=unescape(r[1]), super_options=r[2]))
    return mounts


def read_mountinfo(pid="self"):
    with open("/proc/%s/mountinfo" % pid, "rb") as f:
        return parse_mountinfo(os.fsdecode(f.read()))


def mounted_at(mount_point, mounts=None):
    """The topmost mount at mount_point, or None."""
    mounts = read_mountinfo() if mounts is None else mounts
    found = [m for m in mounts if m.mount_point == mount_point]
    return found[-1] if found else None


def plumbing():
    try:
        with open(layout.PLUMBING, encoding="utf-8") as f:
            return set(json.load(f))
    except (OSError, ValueError):
        return set()


def is_plumbing(m, plumbing_points):
    return (m.mount_point in plumbing_points
            or m.mount_point.startswith(layout.SIM_VAR + "/")
            or m.mount_point.startswith("/dev/"))


# --- the system's own mounts --------------------------------------------------

def live_system_mounts(state, mounts=None):
    """Records of system mounts that still hold: the daemon is alive and its
    mount point is mounted with a FUSE file system."""
    mounts = read_mountinfo() if mounts is None else mounts
    fuse_points = {m.mount_point for m in mounts if m.is_fuse}
    return [r for r in state.get("system_mounts", [])
            if r["mount_point"] in fuse_points and procs.alive(r["pid"], r["start"])]


def prune_system_mounts(state, mounts=None):
    """Drop records that no longer hold (call with the state locked)."""
    state["system_mounts"] = live_system_mounts(state, mounts)


def system_mount_of_device(state, device, mounts=None):
    for r in live_system_mounts(state, mounts):
        if r["device"] == device:
            return r
    return None


def system_mount_at(state, mount_point, mounts=None):
    for r in live_system_mounts(state, mounts):
        if r["mount_point"] == mount_point:
            return r
    return None
