"""Looking at processes through /proc: identity (pid + start time), which
namespace they are in, and what they hold open.

Nothing here stats a path inside a volume: a dead FUSE mount answers such a
call with ENOTCONN, or worse, hangs it. Links in /proc are only read.
"""
import os
import signal
import time


def stat_fields(pid):
    """Fields of /proc/<pid>/stat from the state on, or None if pid is gone."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            data = f.read()
    except OSError:
        return None
    # The command name (field 2) may hold blanks and parentheses; it ends at
    # the last ')'.
    return data[data.rindex(b")") + 2:].split()


def starttime(pid):
    """Start time of pid in clock ticks since boot, or None if it is gone."""
    rest = stat_fields(pid)
    if rest is None or rest[0] == b"Z":
        return None   # a zombie is as good as gone
    return int(rest[19])


def stopped(pid):
    """True while pid is stopped (SIGSTOP, or a tracer)."""
    rest = stat_fields(pid)
    return rest is not None and rest[0] in (b"T", b"t")


def alive(pid, start):
    return pid is not None and start is not None and starttime(pid) == start


def all_pids():
    for name in os.listdir("/proc"):
        if name.isdigit():
            yield int(name)


def ns_inode(pid):
    try:
        return os.stat("/proc/%d/ns/mnt" % pid).st_ino
    except OSError:
        return None


def pids_in_namespace(inode):
    return [p for p in all_pids() if ns_inode(p) == inode]


def exe(pid):
    return _readlink("/proc/%d/exe" % pid)


def ppid(pid):
    rest = stat_fields(pid)
    return int(rest[1]) if rest else None


def name(pid):
    try:
        with open("/proc/%d/comm" % pid, encoding="utf-8", errors="replace") as f:
            return f.read().strip()
    except OSError:
        return "?"


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return [os.fsdecode(a) for a in f.read().split(b"\0")[:-1]]
    except OSError:
        return []


def _links(pid, with_mappings=False):
    """Where process pid's working directory, executable, open files (and mapped files) are,
    and its root directory unless it is /."""
    base = "/proc/%d/" % pid
    names = ["cwd", "exe"] + ["fd/" + fd for fd in _listdir(base + "fd")]
    found = [t for t in (_readlink(base + n) for n in names) if t]
    root = _readlink(base + "root")
    found += [root] if root not in (None, "/") else []
    if with_mappings:
        try:
            with open(base + "maps", "rb") as f:
                found += [os.fsdecode(p[5].strip()) for p in (line.split(None, 5) for line in f) if len(p) == 6]
        except OSError:
            pass
    return found


def _listdir(path):
    try:
        return os.listdir(path)
    except OSError:
        return []


def _readlink(path):
    try:
        return os.readlink(path)
    except OSError:
        return None


def _ours():
    mine = ns_inode(os.getpid())
    return [p for p in all_pids() if ns_inode(p) == mine]


def holders(mount_point, exclude=()):
    """Processes of this namespace that keep mount_point busy: a working or root directory, an
    open file, or a mapped file on it."""
    inside = mount_point.rstrip("/") + "/"
    return [p for p in _ours() if p not in exclude
            and any(t == mount_point or t.startswith(inside) for t in _links(p, with_mappings=True))]


def openers(path):
    """Processes of this namespace with path open (e.g. a FUSE daemon and its image)."""
    return [p for p in _ours() if path in _links(p)]


def kill_and_wait(pids, sig=signal.SIGKILL, timeout=10.0):
    """Signal pids and wait (with a deadline) until they are gone. Returns the
    pids still alive at the deadline."""
    ident = {p: starttime(p) for p in pids}
    for p in pids:
        try:
            os.kill(p, sig)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + timeout
    left = [p for p in pids if ident[p] is not None]
    while left and time.monotonic() < deadline:
        left = [p for p in left if starttime(p) == ident[p]]
        if left:
            time.sleep(0.02)
    return left
