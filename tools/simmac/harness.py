"""Python API of the simulated Mac, for tests.

    import sys; sys.path.insert(0, "<repo>/tools/simmac")
    from harness import SimMac

    with SimMac() as mac:                       # fresh environment; always torn down
        disk = mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Data"}])
        r = mac.run(["/usr/sbin/diskutil", "list", "-plist"])      # as alice
        print(r.returncode, r.stdout)
        app = mac.spawn([build + "/drivelark"])                   # in the background
        mac.wait_for(lambda: "已启动" in mac.read_text(mac.HOME + "/Library/Logs/Drivelark.log", ""), 10)
        app.terminate(); app.wait(5)
        mac.audit(prog="ntfs-3g")                  # what ran

Everything blocks with deadlines; nothing sleeps a fixed time.
"""
import json
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simlib import audit as _audit  # noqa: E402
from simlib import bus, dialog, faults, layout, lifecycle, procs, waiting  # noqa: E402
from simlib.lifecycle import SimError  # noqa: E402
from simlib.state import StateFile  # noqa: E402

__all__ = ["SimMac", "SimError", "Background"]


class Background:
    """A program running inside the environment, started by spawn()."""

    def __init__(self, popen, argv, out_path):
        self.popen = popen
        self.pid = popen.pid
        self.argv = argv
        self.out_path = out_path

    def poll(self):
        return self.popen.poll()

    def send_signal(self, sig):
        if self.popen.poll() is None:
            os.kill(self.pid, sig)

    def terminate(self):
        self.send_signal(signal.SIGTERM)

    def kill(self):
        self.send_signal(signal.SIGKILL)

    def wait(self, timeout):
        """Exit status; raises subprocess.TimeoutExpired at the deadline."""
        return self.popen.wait(timeout)

    def output(self):
        try:
            with open(self.out_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""


class SimMac:
    HOME = layout.HOME
    USER = layout.USER
    UID = layout.UID

    def __init__(self, state_dir=None, owner=None, binds=()):
        """state_dir: a path, a name under /run/simmac, or None for a fresh
        one named after this process. owner: pid whose death ends the
        environment (default: this process)."""
        if state_dir is None:
            state_dir = "t-%d-%d" % (os.getpid(), time.monotonic_ns() % 10**9)
        self.state_dir = lifecycle.state_dir_for(state_dir)
        self.owner = os.getpid() if owner is None else (owner or None)
        self.binds = list(binds)
        build = os.environ.get("DRIVELARK_BUILD_DIR")
        if build:
            self.binds.append(os.path.abspath(build))
        self.meta = None
        self._children = []

    # --- life --------------------------------------------------------------
    @classmethod
    def existing(cls, state_dir=None):
        """Attach to an environment that `simmac start` (or another process) started."""
        mac = cls(state_dir or "default", owner=0)
        mac.meta = lifecycle.running_meta(mac.state_dir)
        return mac

    def start(self):
        started = time.monotonic()
        self.meta = lifecycle.start(self.state_dir, owner=self.owner, binds=self.binds)
        self.start_seconds = time.monotonic() - started
        return self

    def stop(self, keep=False):
        for b in self._children:
            if b.popen.poll() is None:
                try:
                    b.popen.kill()
                except ProcessLookupError:
                    pass
        lifecycle.stop(self.state_dir, keep=keep)
        for b in self._children:
            try:
                b.popen.wait(5)
            except subprocess.TimeoutExpired:
                pass
        self.meta = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    @property
    def var(self):
        return layout.host_var(self.state_dir)

    def _need(self):
        if self.meta is None:
            raise SimError("simmac: the environment is not running")
        return self.meta

    # --- running programs inside ---------------------------------------------
    def command(self, argv, user="alice", env=None, cwd=None):
        """Host command line that runs argv inside (for callers that want
        their own subprocess handling)."""
        return lifecycle.enter_argv(self._need(), argv, user=user, env=env, cwd=cwd)

    def run(self, argv, user="alice", env=None, cwd=None, input=None, timeout=60, check=False):
        """Runs argv inside and waits; returns subprocess.CompletedProcess with
        text stdout and stderr."""
        cmd = self.command(argv, user=user, env=env, cwd=cwd)
        if isinstance(input, str):
            input = input.encode("utf-8")
        r = subprocess.run(cmd, input=input or b"", capture_output=True, timeout=timeout)
        # Decoded by hand: text mode would turn the carriage returns that
        # osascript prints into line feeds.
        r.stdout = r.stdout.decode("utf-8", "surrogateescape")
        r.stderr = r.stderr.decode("utf-8", "surrogateescape")
        if check and r.returncode != 0:
            raise SimError("simmac: %s exited with %d:\n%s%s" % (argv, r.returncode, r.stdout, r.stderr))
        return r

    def spawn(self, argv, user="alice", env=None, cwd=None, out_path=None):
        """Starts argv inside in the background; its standard output and error
        go to out_path (a host file; default in the state directory)."""
        if out_path is None:
            out_path = os.path.join(self.state_dir, "bg-%d.out" % (len(self._children) + 1))
        cmd = self.command(argv, user=user, env=env, cwd=cwd)
        with open(out_path, "wb") as out:
            p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                 close_fds=True)
        b = Background(p, argv, out_path)
        self._children.append(b)
        return b

    def pids(self):
        """Every process in the environment except the simulator's own: the
        anchor, the system bus and the logind stand-in."""
        m = self._need()
        own = {m["anchor_pid"]} | {d["pid"] for d in self.state()["bus_daemons"]}
        return [p for p in procs.pids_in_namespace(m["ns_inode"]) if p not in own]

    def processes(self):
        """(pid, argv) of every live process in the environment except the
        simulator's own, as /proc shows them (the system's FUSE daemons
        included), so that a test can find, say, an ntfs-3g by its arguments
        and kill it."""
        out = []
        for p in self.pids():
            argv = procs.cmdline(p)
            if argv:
                out.append((p, argv))
        return out

    # --- the simulator's own operations (run inside as root) -----------------
    def _inside(self, *args, timeout=120):
        cmd = lifecycle.inside_python(self._need(), [str(a) for a in args])
        r = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                           encoding="utf-8", errors="surrogateescape")
        if r.returncode != 0:
            raise SimError("simmac: %s failed (%d):\n%s%s" % (args[0], r.returncode, r.stdout, r.stderr))
        return json.loads(r.stdout) if r.stdout.strip() else None

    def attach(self, scheme="gpt", partitions=None, fstype_shown=None, raw_writes=True, **one):
        """Attaches a disk and mounts what macOS would mount. scheme: "gpt",
        "mbr" or "none" (a whole-disk volume). partitions: list of dicts with
        fs ("ntfs", "fat32", "exfat", "efi"), name (None for unnamed), uuid
        (True for a random one, None for none, or a text), state for NTFS
        ("clean", "dirty", "unclean", "faststart", "hibernated"), size_mb,
        mount (False to leave it unmounted), content (overrides the partition
        type that diskutil shows). fstype_shown: None follows the global
        setting. raw_writes=False makes /dev/rdiskNsM refuse to open for
        writing. For a single partition the keys may be given directly
        (attach(fs="ntfs", name="Data")). Returns the disk description."""
        if partitions is None:
            partitions = [one or {"fs": "ntfs", "name": "Untitled"}]
        request = {"scheme": scheme, "partitions": partitions, "fstype_shown": fstype_shown,
                "raw_writes": raw_writes}
        return self._inside("attach", json.dumps(request))

    def detach(self, disk):
        return self._inside("detach", disk)

    def yank(self, disk):
        return self._inside("yank", disk)

    def set_fstype_shown(self, shown):
        with StateFile(self.var).locked() as st:
            st["fstype_shown"] = bool(shown)

    def set_fault(self, prog, mode, verbs=None, devices=None):
        """Makes "diskutil" (only the given verbs, e.g. ["list", "info"], and only runs that name
        one of `devices`, e.g. ["disk5s1"]; None: all) or "mount" (its listing) misbehave for
        every caller: mode "fail", "hang", "garbage", or "off"."""
        try:
            faults.check(prog, mode, verbs, devices)
        except ValueError as e:
            raise SimError("simmac: %s" % e) from None
        with StateFile(self.var).locked() as st:
            faults.set_fault(st, prog, mode, verbs, devices)

    # --- sleep and wake: logind's notices on the system bus inside --------------
    def sleep(self, delay_max=5.0):
        """Sends PrepareForSleep(true), then waits as logind does, at most
        delay_max seconds (its InhibitDelayMaxSec), until every inhibitor
        lock is released. Returns the seconds it waited, or None when locks
        were still held at the deadline (the system sleeps all the same)."""
        self.run(bus.prepare_for_sleep_argv(True), user="root", check=True)
        started = time.monotonic()
        try:
            waiting.until(lambda: self.inhibitors() == 0, delay_max, "the inhibitor locks")
        except waiting.Timeout:
            return None
        return time.monotonic() - started

    def wake(self):
        """Sends PrepareForSleep(false). Programs take their locks again by
        themselves: before another sleep, wait for inhibitors() to be back."""
        self.run(bus.prepare_for_sleep_argv(False), user="root", check=True)

    def inhibitors(self):
        """How many inhibitor locks programs hold through the logind stand-in."""
        with open(os.path.join(self.var, os.path.basename(layout.INHIBITORS))) as f:
            return int(f.read())

    # --- password dialog -----------------------------------------------------
    def set_answers(self, answers, append=False):
        """Next answers of the administrator password dialog, in order:
        "accept", "cancel" or "wrong", each optionally "-after:SECONDS"
        (the dialog stays open that long first). With the queue empty, it
        accepts at once."""
        for a in answers:
            try:
                dialog.check(a)
            except ValueError as e:
                raise SimError("simmac: %s" % e) from None
        with StateFile(self.var).locked() as st:
            st["answers"] = (st["answers"] if append else []) + list(answers)

    def prompt_count(self):
        return StateFile(self.var).read()["prompts"]

    def state(self):
        return StateFile(self.var).read()

    # --- audit ---------------------------------------------------------------
    def audit(self, prog=None):
        """Every recorded run of a simulated program, oldest first; prog
        filters on the program's base name (diskutil, sudo, ntfs-3g, ...)."""
        entries = _audit.read(os.path.join(self.var, "audit.jsonl"))
        if prog is not None:
            entries = [e for e in entries if os.path.basename(e["prog"]) == prog]
        return entries

    # --- files inside ---------------------------------------------------------
    def host_path(self, inside_path):
        """Host path of a path inside the environment (valid while it runs)."""
        if not inside_path.startswith("/"):
            raise SimError("simmac: %r is not absolute" % inside_path)
        return "/proc/%d/root%s" % (self._need()["anchor_pid"], inside_path)

    def read_bytes(self, inside_path):
        with open(self.host_path(inside_path), "rb") as f:
            return f.read()

    def read_text(self, inside_path, default=None):
        try:
            return self.read_bytes(inside_path).decode("utf-8", "replace")
        except FileNotFoundError:
            if default is None:
                raise
            return default

    def write_file(self, inside_path, data, owner="alice", mode=0o644):
        """Writes a file inside (parents are created, owned like the file)."""
        if isinstance(data, str):
            data = data.encode("utf-8")
        uid, gid = (layout.UID, layout.GID) if owner == "alice" else (0, 0)
        path = self.host_path(inside_path)
        parent = os.path.dirname(path)
        missing = []
        while not os.path.exists(parent):
            missing.append(parent)
            parent = os.path.dirname(parent)
        for d in reversed(missing):
            os.mkdir(d, 0o755)
            os.chown(d, uid, gid)
        with open(path, "wb") as f:
            f.write(data)
        os.chown(path, uid, gid)
        os.chmod(path, mode)

    # --- waiting ---------------------------------------------------------------
    @staticmethod
    def wait_for(condition, timeout, what="the condition", interval=0.05):
        """Polls condition() until it returns something true (and returns
        that); fails the test naming `what` at the deadline."""
        try:
            return waiting.until(condition, timeout, what, interval)
        except waiting.Timeout as timeout_error:
            raise AssertionError(str(timeout_error)) from None
