"""Looking at processes through /proc: identity (pid + start time), which
namespace they are in, and what they hold open.

Nothing here stats a path inside a volume: a dead FUSE mount answers such a
call with ENOTCONN, or worse, hangs it. Links in /proc are only read.
"""
import os
import signal
import time


def _stat_fields(pid):
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
    rest = _stat_fields(pid)
    if rest is None or rest[0] == b"Z":
        return None   # a zombie is as good as gone
    return int(rest[19])


def stopped(pid):
    """True while pid is stopped (SIGSTOP, or a tracer)."""
    rest = _stat_fields(pid)
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
    try:
        return os.readlink("/proc/%d/exe" % pid)
    except OSError:
        return None


def ppid(pid):
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            data = f.read()
        return int(data[data.rindex(b")") + 2:].split()[1])
    except (OSError, ValueError, IndexError):
        return None


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return [os.fsdecode(a) for a in f.read().split(b"\0")[:-1]]
    except OSError:
        return []


def _under(path, prefix):
    return path == prefix or path.startswith(prefix.rstrip("/") + "/")


def holders(mount_point, exclude=()):
    """Processes of this namespace that keep mount_point busy: a working or
    root directory, an open file, or a mapped file on it."""
    mine = ns_inode(os.getpid())
    found = []
    for pid in all_pids():
        if pid in exclude or ns_inode(pid) != mine:
            continue
        if _holds(pid, mount_point):
            found.append(pid)
    return found


def _holds(pid, mp):
    base = "/proc/%d/" % pid
    for link in ("cwd", "root", "exe"):
        try:
            target = os.readlink(base + link)
        except OSError:
            continue
        if link == "root" and target == "/":
            continue
        if _under(target, mp):
            return True
    try:
        fds = os.listdir(base + "fd")
    except OSError:
        fds = []
    for fd in fds:
        try:
            if _under(os.readlink(base + "fd/" + fd), mp):
                return True
        except OSError:
            continue
    try:
        with open(base + "maps", "rb") as f:
            for line in f:
                parts = line.split(None, 5)
                if len(parts) == 6 and _under(os.fsdecode(parts[5].strip()), mp):
                    return True
    except OSError:
        pass
    return False


def openers(path):
    """Processes of this namespace with path open (e.g. a FUSE daemon and its image)."""
    mine = ns_inode(os.getpid())
    out = []
    for pid in all_pids():
        if ns_inode(pid) != mine:
            continue
        try:
            fds = os.listdir("/proc/%d/fd" % pid)
        except OSError:
            continue
        for fd in fds:
            try:
                if os.readlink("/proc/%d/fd/%s" % (pid, fd)) == path:
                    out.append(pid)
                    break
            except OSError:
                continue
    return out


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
