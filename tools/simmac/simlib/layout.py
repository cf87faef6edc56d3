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
NEWROOT = "root"            # empty directory; the new root is mounted on it inside
LAYERS = "layers"           # overlay upper/work dirs (a tmpfs that only the namespace sees)

# Inside: the state shared by the simulated programs (the state directory's var/).
SIM_VAR = "/var/simmac"
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

# The simulated programs at the paths macOS has them, and the script in progs/ behind each: the
# setuid shim runs the script named after the program. /bin and /sbin are /usr's (merged /usr).
SETUID_PROGRAMS = {"/usr/sbin/diskutil": "diskutil", "/sbin/mount": "mount", "/usr/bin/sudo": "sudo",
                   "/usr/bin/osascript": "osascript", "/bin/ps": "ps"}
PLAIN_PROGRAMS = {"/usr/bin/caffeinate": "caffeinate", "/usr/bin/stat": "stat", "/sbin/umount": "umount"}
# Real programs copied to the paths they have on a Mac.
AT_MAC_PATHS = {"/usr/sbin/lsof": "/usr/bin/lsof"}
# Debian's ntfs-3g, for the system's own read-only mounts.
NTFS3G = "/bin/ntfs-3g"

# First BSD number handed to an attached disk; disk0..disk3 are internal.
FIRST_EXTERNAL_DISK = 4

MARKER = "--simmac-anchor"  # in the anchor's command line, so sweeps can find it


def host_var(state_dir):
    return os.path.join(state_dir, "var")
