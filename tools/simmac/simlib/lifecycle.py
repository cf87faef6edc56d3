"""Host side of an environment's life: preflight checks, start, entering the
namespace to run a program, stop, and the sweep of leftovers.

An environment is a state directory (mode 0700) plus a mount namespace held
open by the anchor process. Stopping kills every process whose mount
namespace is the environment's (found through /proc/*/ns/mnt), which takes
the namespace and every mount in it away; nothing was ever mounted outside
it, and the only loop devices are autoclear ones that vanish with their
last user.
"""
import json
import os
import re
import secrets
import shutil
import subprocess
import time

from . import layout, procs


class SimError(Exception):
    pass


# --- preflight ---------------------------------------------------------------

def preflight():
    """Fail loudly, with the reason, where this machine cannot host the
    simulated Mac."""
    problems = []
    if os.geteuid() != 0:
        problems.append("must run as root (it builds a mount namespace and mounts FUSE file systems)")
    if not os.path.exists("/proc/self/ns/mnt"):
        problems.append("the kernel has no mount namespaces (/proc/self/ns/mnt is missing)")
    try:
        with open("/proc/filesystems") as f:
            fss = {line.split()[-1] for line in f if line.strip()}
    except OSError:
        fss = set()
    for fs in ("tmpfs", "overlay", "fuse", "proc", "devpts"):
        if fs not in fss:
            problems.append("the kernel lacks the %s file system (not in /proc/filesystems; try modprobe %s)" % (fs, fs))
    if not os.path.exists("/dev/fuse"):
        problems.append("/dev/fuse is missing (FUSE is not available)")
    tools = {
        "unshare": "util-linux", "nsenter": "util-linux", "setpriv": "util-linux",
        "gcc": "gcc", "mkntfs": "ntfs-3g", "ntfs-3g": "ntfs-3g", "sudo": "sudo", "visudo": "sudo", "env": "coreutils",
        "fusermount3": "fuse3", "bash": "bash", "dbus-daemon": "dbus-daemon", "dbus-send": "dbus-bin",
        "lsof": "lsof", "mkfs.vfat": "dosfstools", "fusefat": "fusefat", "mkfs.exfat": "exfatprogs",
        "mount.exfat-fuse": "exfat-fuse",
    }
    for tool, pkg in tools.items():
        if not shutil.which(tool, path="/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"):
            problems.append("%s is missing (Debian package %s)" % (tool, pkg))
    if not os.access(layout.PYTHON, os.X_OK):
        problems.append("%s is missing (Debian package python3)" % layout.PYTHON)
    if problems:
        raise SimError("simmac: this machine cannot run the simulated Mac:\n  - " + "\n  - ".join(problems))


# --- state directories -------------------------------------------------------

_NAME = re.compile(r"^[A-Za-z0-9._-]+$")


def state_dir_for(name_or_path):
    if name_or_path is None:
        name_or_path = "default"
    if "/" in name_or_path:
        path = os.path.abspath(name_or_path)
    else:
        path = os.path.join(layout.DEFAULT_BASE, name_or_path)
    # The path ends up in overlay mount options, where ',' and ':' separate fields.
    if not all(_NAME.match(p) for p in path.strip("/").split("/")):
        raise SimError("simmac: unusable state directory %r (use letters, digits, '.', '_', '-')" % path)
    return path


def read_meta(state_dir):
    try:
        with open(os.path.join(state_dir, layout.META), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def anchor_alive(meta):
    return bool(meta) and procs.alive(meta.get("anchor_pid"), meta.get("anchor_start"))


def running_meta(state_dir):
    meta = read_meta(state_dir)
    if not anchor_alive(meta):
        raise SimError("simmac: no environment is running at %s (start one with `simmac start`)" % state_dir)
    return meta


# --- start -------------------------------------------------------------------

def start(state_dir, owner=None, binds=(), timeout=60.0):
    preflight()
    meta = read_meta(state_dir)
    if anchor_alive(meta):
        raise SimError("simmac: an environment is already running at %s (anchor pid %d); "
                       "stop it first with `simmac stop`" % (state_dir, meta["anchor_pid"]))
    if os.path.exists(state_dir):
        stop(state_dir)              # leftovers of a crashed run
    os.makedirs(os.path.dirname(state_dir), mode=0o755, exist_ok=True)
    var = layout.host_var(state_dir)
    for path, mode in ((state_dir, 0o700), (var, 0o711), (os.path.join(state_dir, layout.NEWROOT), 0o755)):
        os.mkdir(path)
        os.chmod(path, mode)         # var: the user may reach named files (the audit log), not list
    token = secrets.token_hex(16)
    with open(os.open(os.path.join(var, "token"), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "w") as f:
        f.write(token)
    all_binds = []
    for b in [layout.REPO_ROOT] + list(binds):
        b = os.path.realpath(b)
        if os.path.isdir(b) and not any(b == x or b.startswith(x + "/") for x in all_binds):
            all_binds.append(b)
    owner_start = procs.starttime(owner) if owner else None
    meta = {"state_dir": state_dir, "anchor_pid": None, "anchor_start": None, "owner": owner,
            "owner_start": owner_start, "binds": all_binds, "token": token, "created": time.time(), "ns_inode": None}
    _write_meta(state_dir, meta)     # first, so that a sweep running meanwhile sees who owns it
    log_path = os.path.join(state_dir, layout.ANCHOR_LOG)
    with open(log_path, "wb") as log:
        p = subprocess.Popen(["unshare", "--mount", "--propagation", "private", "--", layout.PYTHON, "-I",
                              os.path.join(layout.SIMLIB, "anchor.py"), layout.MARKER, state_dir, str(owner or "-"),
                              str(owner_start or "-"), json.dumps(all_binds)],
                             stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                             cwd="/")
    meta.update(anchor_pid=p.pid, anchor_start=procs.starttime(p.pid))
    _write_meta(state_dir, meta)
    deadline = time.monotonic() + timeout
    while not os.path.exists(os.path.join(var, os.path.basename(layout.READY))):
        if p.poll() is not None or time.monotonic() > deadline:
            why = "exited with status %s" % p.returncode if p.returncode is not None else "timed out"
            ino = procs.ns_inode(p.pid)
            p.kill()
            p.wait()
            if ino is not None and ino != procs.ns_inode(os.getpid()):
                procs.kill_and_wait(procs.pids_in_namespace(ino))   # e.g. a compiler it had started
            with open(log_path, "rb") as f:
                text = f.read()[-4000:].decode("utf-8", "replace")
            stop(state_dir)
            raise SimError("simmac: the environment did not start (%s):\n%s" % (why, text))
        time.sleep(0.02)
    meta["ns_inode"] = procs.ns_inode(p.pid)
    _write_meta(state_dir, meta)
    _anchors[state_dir] = p      # reaped by stop() if this process is still there
    return meta


_anchors = {}


def _write_meta(state_dir, meta):
    tmp = os.path.join(state_dir, layout.META + ".tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(meta, f, indent=1)
    os.replace(tmp, os.path.join(state_dir, layout.META))


# --- entering ----------------------------------------------------------------

def user_env(user, extra=None):
    if user == "root":
        env = {"HOME": "/var/root", "USER": "root", "LOGNAME": "root", "SHELL": "/bin/sh"}
    else:
        env = {"HOME": layout.HOME, "USER": layout.USER, "LOGNAME": layout.USER, "SHELL": "/bin/bash"}
    env.update({"PATH": "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin",
                "LANG": "C.UTF-8", "TMPDIR": "/tmp/"})
    env.update(extra or {})
    return env


def enter_argv(meta, argv, user="alice", env=None, cwd=None):
    """Command line (for the host) that runs argv inside the environment, as alice or root."""
    if cwd is None:
        cwd = layout.HOME if user == "alice" else "/"
    cmd = ["nsenter", "--target", str(meta["anchor_pid"]), "--mount", "--"]
    if user == "alice":
        cmd += ["setpriv", "--reuid=%d" % layout.UID, "--regid=%d" % layout.GID,
                "--init-groups", "--inh-caps=-all", "--"]
    cmd += ["env", "-i", "--chdir=" + cwd, "--"]
    cmd += ["%s=%s" % kv for kv in user_env(user, env).items()]
    cmd += list(argv)
    return cmd


def inside_python(meta, module_args):
    """Runs one of the simulator's own inside operations as root."""
    script = os.path.join(layout.SIMLIB, "inside.py")
    return enter_argv(meta, [layout.PYTHON, "-I", script] + list(module_args), user="root")


# --- stop --------------------------------------------------------------------

def _ours(pid, meta):
    """True if pid lives in this environment's namespace. The namespace inode
    alone could have been reused after a crash, so the token inside must
    match as well."""
    if procs.ns_inode(pid) != meta.get("ns_inode"):
        return False
    try:
        with open("/proc/%d/root%s/token" % (pid, layout.SIM_VAR)) as f:
            return f.read().strip() == meta.get("token")
    except OSError:
        return False


def _abort_fuse(pid):
    """Abort the FUSE connections of the namespace, so that nothing waits on
    a daemon that is about to die."""
    try:
        with open("/proc/%d/mountinfo" % pid, "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
    except OSError:
        return
    for line in lines:
        left, _, right = line.partition(" - ")
        if right.split(" ")[0].startswith(("fuse", "fuseblk")) and not right.startswith("fusectl"):
            minor = left.split(" ")[2].split(":")[1]
            try:
                with open("/sys/fs/fuse/connections/%s/abort" % minor, "w") as f:
                    f.write("1")
            except OSError:
                pass


def stop(state_dir, timeout=20.0):
    """End the environment: every process in its namespace, then its state
    directory. Safe to call on a half-started or already stopped one."""
    meta = read_meta(state_dir) or {}
    left = []
    ino = meta.get("ns_inode")
    anchor = meta.get("anchor_pid")
    if ino is None and anchor_alive(meta):
        ino = procs.ns_inode(anchor)
        meta["ns_inode"] = ino
    if ino is not None:
        deadline = time.monotonic() + timeout
        if anchor_alive(meta):
            _abort_fuse(anchor)
        while True:
            pids = [p for p in procs.pids_in_namespace(ino) if _ours(p, meta) or p == anchor]
            if not pids:
                break
            if time.monotonic() > deadline:
                left = pids
                break
            # The anchor goes last: while it lives, the namespace cannot vanish
            # from under a half-finished kill.
            others = [p for p in pids if p != anchor]
            procs.kill_and_wait(others or pids, timeout=2.0)
    elif anchor_alive(meta):
        procs.kill_and_wait([anchor])
    p = _anchors.pop(state_dir, None)
    if p is not None:
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            pass
    if left:
        raise SimError("simmac: could not end processes %s of %s" % (left, state_dir))
    if os.path.isdir(state_dir):
        shutil.rmtree(state_dir, ignore_errors=True)
    return True


# --- sweep -------------------------------------------------------------------

def _stale(state_dir, meta, grace=120):
    """An environment nobody will stop: its owner or its anchor died. One
    that is still starting (no anchor yet) gets a grace period."""
    if meta is None:
        try:
            return time.time() - os.stat(state_dir).st_mtime > grace
        except OSError:
            return False
    if meta.get("owner") and not procs.alive(meta["owner"], meta.get("owner_start")):
        return True
    if meta.get("anchor_pid") is None:
        return time.time() - meta.get("created", 0) > grace
    return not anchor_alive(meta)


def sweep(base=layout.DEFAULT_BASE, everything=False):
    """Stop environments whose owner is gone (or all of them), and remove
    state directories that no environment uses any more. Returns what it ended."""
    ended = []
    if os.path.isdir(base):
        for name in sorted(os.listdir(base)):
            sd = os.path.join(base, name)
            if not os.path.isdir(sd):
                continue
            if everything or _stale(sd, read_meta(sd)):
                stop(sd)
                ended.append(sd)
    return ended
