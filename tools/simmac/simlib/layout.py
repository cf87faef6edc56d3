"""Where things live, inside the simulated Mac and on the host."""
import os

# The simulator's own code; the repository is bound at the same absolute path
# inside, so these paths are valid on both sides.
SIMLIB = os.path.dirname(os.path.abspath(__file__))
SIMMAC_DIR = os.path.dirname(SIMLIB)
PROGS = os.path.join(SIMMAC_DIR, "progs")
REPO_ROOT = os.path.dirname(os.path.dirname(SIMMAC_DIR))

PYTHON = "/usr/bin/python3"

# Host side: every environment has a state directory (mode 0700).
DEFAULT_BASE = "/run/simmac"
META = "meta.json"          # anchor pid, namespace inode, owner, binds
ANCHOR_LOG = "anchor.log"
VAR = "var"                 # bound at SIM_VAR inside
NEWROOT = "root"            # empty directory; the new root is mounted on it inside
LAYERS = "layers"           # overlay upper/work dirs (a tmpfs that only the namespace sees)

# Inside: the state shared by the simulated programs.
SIM_VAR = "/var/simmac"
STATE = SIM_VAR + "/state.json"
LOCK = SIM_VAR + "/state.lock"
AUDIT = SIM_VAR + "/audit.jsonl"
IMAGES = SIM_VAR + "/images"
SCRATCH = SIM_VAR + "/scratch"
DAEMON_LOGS = SIM_VAR + "/daemons"
PLUMBING = SIM_VAR + "/plumbing.json"
READY = SIM_VAR + "/ready"
MOUNT_LOCK = SIM_VAR + "/mount.lock"   # one system mount at a time
INHIBITORS = SIM_VAR + "/inhibitors"   # how many inhibitor locks are held through the logind stand-in
BUS_SOCKET = "/run/dbus/system_bus_socket"   # the system bus's default address

# The console user, as on a fresh Mac.
USER = "alice"
UID = 501
GID = 20
HOME = "/Users/alice"

# Programs that the simulator provides inside, and the script behind each.
SETUID_PROGRAMS = {
    "/usr/sbin/diskutil": "diskutil.py",
    "/usr/sbin/mount": "mount.py",          # /sbin is /usr/sbin on Debian
    "/usr/bin/mount": "mount.py",           # a bare `mount` in a shell means the Mac's too
    "/usr/bin/sudo": "sudo.py",
    "/usr/bin/osascript": "osascript.py",
    "/usr/bin/ps": "ps.py",                 # /bin/ps: /bin is /usr/bin (merged /usr)
}
PLAIN_PROGRAMS = {
    "/usr/bin/caffeinate": "caffeinate.py",
    "/usr/local/bin/ntfs-3g": "ntfs_tools.py",
    "/usr/local/bin/ntfsfix": "ntfs_tools.py",
    "/usr/local/bin/ntfs-3g.probe": "ntfs_tools.py",
    "/usr/bin/stat": "stat.py",             # BSD's -f FORMAT; the rest goes to GNU stat
    "/usr/sbin/umount": "umount.py",        # /sbin/umount (Linux's own is /usr/bin/umount)
}
REAL_TOOLS = {
    "ntfs-3g": "/usr/bin/ntfs-3g",
    "ntfsfix": "/usr/bin/ntfsfix",
    "ntfs-3g.probe": "/usr/bin/ntfs-3g.probe",
}
# Real programs copied to the paths they have on a Mac.
AT_MAC_PATHS = {
    "/usr/sbin/lsof": "/usr/bin/lsof",
}
# util-linux's mount and coreutils' stat, copied aside before they are shadowed.
REAL_MOUNT = "/usr/libexec/simmac/mount"
REAL_STAT = "/usr/libexec/simmac/stat"

# First BSD number handed to an attached disk; disk0..disk3 are internal.
FIRST_EXTERNAL_DISK = 4

MARKER = "--simmac-anchor"  # in the anchor's command line, so sweeps can find it


def host_var(state_dir):
    return os.path.join(state_dir, VAR)


def inside_to_var(state_dir, inside_path):
    """Map a path under SIM_VAR to the host's copy of it."""
    rel = os.path.relpath(inside_path, SIM_VAR)
    return os.path.join(state_dir, VAR, rel)
