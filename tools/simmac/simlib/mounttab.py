"""The namespace's real mount table, and what the simulated system knows
about the mounts it made itself.

The kernel's table (/proc/self/mountinfo) is the truth about what is
mounted. A mount that the simulated system made when a disk was attached is
recorded with the pid and start time of its FUSE daemon: the record counts
only while that daemon lives and the mount point is still mounted, so a
mount removed behind the simulator's back (umount, a killed daemon) stops
counting as the system's without anyone having to tell it.
"""
import collections
import json
import os
import re

from . import layout, procs


class Mount(collections.namedtuple("Mount", "mount_point options fstype source super_options")):
    @property
    def read_only(self):
        return "ro" in self.options.split(",")

    @property
    def is_fuse(self):
        return self.fstype.split(".")[0] in ("fuse", "fuseblk")

    def super_option(self, name):
        return next((o[len(name) + 1:] for o in self.super_options.split(",") if o.startswith(name + "=")), None)


def _unescape(field):
    """mountinfo writes blank, tab, newline and backslash as octal escapes."""
    return os.fsdecode(re.sub(rb"\\([0-7]{3})", lambda m: bytes([int(m.group(1), 8)]), os.fsencode(field)))


def read_mountinfo():
    with open("/proc/self/mountinfo", "rb") as f:
        text = os.fsdecode(f.read())
    mounts = []
    for line in text.splitlines():
        left, _, right = line.partition(" - ")
        f, r = left.split(" "), right.split(" ")
        mounts.append(Mount(_unescape(f[4]), f[5], r[0], _unescape(r[1]), r[2]))
    return mounts


def mounted_at(mount_point):
    """The topmost mount at mount_point, or None."""
    return next((m for m in reversed(read_mountinfo()) if m.mount_point == mount_point), None)


def plumbing():
    try:
        with open(layout.PLUMBING, encoding="utf-8") as f:
            return set(json.load(f))
    except (OSError, ValueError):
        return set()


def is_plumbing(m, plumbing_points):
    return m.mount_point in plumbing_points or m.mount_point.startswith((layout.SIM_VAR + "/", "/dev/"))


# --- the system's own mounts --------------------------------------------------

def live_system_mounts(state, mounts=None):
    """Records of system mounts that still hold: the daemon is alive and its mount point is
    mounted with a FUSE file system."""
    fuse_points = {m.mount_point for m in (read_mountinfo() if mounts is None else mounts) if m.is_fuse}
    return [r for r in state.get("system_mounts", [])
            if r["mount_point"] in fuse_points and procs.alive(r["pid"], r["start"])]


def prune_system_mounts(state):
    """Drop records that no longer hold (call with the state locked)."""
    state["system_mounts"] = live_system_mounts(state)


def system_mount(state, key, value):
    """The live record whose "device" or "mount_point" (key) is value, or None."""
    return next((r for r in live_system_mounts(state) if r[key] == value), None)
