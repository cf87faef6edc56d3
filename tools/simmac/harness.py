"""Python API of the simulated Mac, for tests (README.md shows it). Everything blocks with
deadlines; nothing sleeps a fixed time."""
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simlib import audit as _audit  # noqa: E402
from simlib import bus, dialog, faults, layout, lifecycle, procs, waiting  # noqa: E402
from simlib.lifecycle import SimError  # noqa: E402
from simlib.state import StateFile  # noqa: E402

class Background(subprocess.Popen):
    """A program running inside, started by spawn()."""

    def output(self):
        """What it has written so far (standard output and error)."""
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


class SimMac:
    HOME = layout.HOME

    def __init__(self, state_dir=None, owner=None, binds=()):
        """state_dir: a path, a name under /run/simmac, or None for a fresh one named after this
        process. owner: pid whose death ends the environment (default: this process; 0: none).
        $DRIVELARK_BUILD_DIR is bound inside as well."""
        if state_dir is None:
            state_dir = "t-%d-%d" % (os.getpid(), time.monotonic_ns() % 10**9)
        self.state_dir = lifecycle.state_dir_for(state_dir)
        self.owner = os.getpid() if owner is None else (owner or None)
        self.binds = list(binds)
        if os.environ.get("DRIVELARK_BUILD_DIR"):
            self.binds.append(os.path.abspath(os.environ["DRIVELARK_BUILD_DIR"]))
        self.meta = None
        self._children = []

    @classmethod
    def existing(cls, state_dir=None):
        """Attaches to an environment that `simmac start` (or another process) started."""
        mac = cls(state_dir or "default", owner=0)
        mac.meta = lifecycle.running_meta(mac.state_dir)
        return mac

    def start(self):
        self.meta = lifecycle.start(self.state_dir, owner=self.owner, binds=self.binds)
        return self

    def stop(self):
        for child in self._children:
            if child.poll() is None:
                child.kill()
        lifecycle.stop(self.state_dir)
        for child in self._children:
            try:
                child.wait(5)
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

    # --- running programs inside ---------------------------------------------
    def command(self, argv, user="alice", env=None, cwd=None):
        """Host command line that runs argv inside."""
        if self.meta is None:
            raise SimError("simmac: the environment is not running")
        return lifecycle.enter_argv(self.meta, argv, user=user, env=env, cwd=cwd)

    def run(self, argv, user="alice", env=None, cwd=None, timeout=60, check=False):
        """Runs argv inside and waits; a subprocess.CompletedProcess with text output, decoded
        by hand (text mode would turn the carriage returns that osascript prints into line feeds)."""
        r = subprocess.run(self.command(argv, user=user, env=env, cwd=cwd), stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=timeout)
        r.stdout, r.stderr = (out.decode("utf-8", "surrogateescape") for out in (r.stdout, r.stderr))
        if check and r.returncode != 0:
            raise SimError("simmac: %s exited with %d:\n%s%s" % (argv, r.returncode, r.stdout, r.stderr))
        return r

    def spawn(self, argv, user="alice", env=None, cwd=None):
        """Starts argv inside in the background; output() reads what it wrote."""
        out_path = os.path.join(self.state_dir, "bg-%d.out" % (len(self._children) + 1))
        with open(out_path, "wb") as out:
            child = Background(self.command(argv, user=user, env=env, cwd=cwd), stdin=subprocess.DEVNULL,
                               stdout=out, stderr=subprocess.STDOUT)
        child.out_path = out_path
        self._children.append(child)
        return child

    def pids(self):
        """Every process inside but the simulator's own: the anchor, the system bus, the logind
        stand-in."""
        own = {self.meta["anchor_pid"]} | {d["pid"] for d in self.state()["bus_daemons"]}
        return [p for p in procs.pids_in_namespace(self.meta["ns_inode"]) if p not in own]

    def processes(self):
        """(pid, argv) of those processes as /proc shows them (the system's FUSE daemons included)."""
        return [(p, argv) for p in self.pids() if (argv := procs.cmdline(p))]

    # --- disks, faults, the password dialog: the simulator's own operations -------------------------
    def _inside(self, *args):
        cmd = lifecycle.inside_python(self.meta, [str(a) for a in args])
        r = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, timeout=120, encoding="utf-8",
                           errors="surrogateescape")
        if r.returncode != 0:
            raise SimError("simmac: %s failed (%d):\n%s%s" % (args[0], r.returncode, r.stdout, r.stderr))
        return json.loads(r.stdout)

    def attach(self, scheme="gpt", partitions=None, fstype_shown=None, raw_writes=True):
        """Attaches a disk and mounts what macOS would mount; its description (README.md)."""
        request = {"scheme": scheme, "partitions": partitions or [{"fs": "ntfs", "name": "Untitled"}],
                   "fstype_shown": fstype_shown, "raw_writes": raw_writes}
        return self._inside("attach", json.dumps(request))

    def detach(self, disk):
        return self._inside("detach", disk)

    def yank(self, disk):
        return self._inside("yank", disk)

    def set_fstype_shown(self, shown):
        with StateFile(self.var).locked() as st:
            st["fstype_shown"] = bool(shown)

    def set_fault(self, prog, mode, verbs=None, devices=None):
        """Makes "diskutil" (only the given verbs, and only runs that name one of `devices`; None:
        all) or "mount" (its listing) misbehave for every caller: "fail", "hang", "garbage", "off"."""
        try:
            with StateFile(self.var).locked() as st:
                faults.set_fault(st, prog, mode, verbs, devices)
        except ValueError as e:
            raise SimError("simmac: %s" % e) from None

    def set_answers(self, answers):
        """Next answers of the password dialog: "accept", "cancel" or "wrong", each optionally
        "-after:SECONDS". With the queue empty, it accepts at once."""
        for answer in answers:
            if not dialog.ANSWER.match(answer):
                raise SimError("simmac: unknown answer %r (accept, cancel, wrong; -after:SECONDS)" % answer)
        with StateFile(self.var).locked() as st:
            st["answers"] = list(answers)

    def prompt_count(self):
        return self.state()["prompts"]

    def state(self):
        return StateFile(self.var).read()

    def audit(self, prog=None):
        """Every recorded run of a simulated program, oldest first; prog filters on the program's
        base name (diskutil, sudo, osascript, ...)."""
        return [e for e in _audit.read(os.path.join(self.var, "audit.jsonl"))
                if prog is None or os.path.basename(e["prog"]) == prog]

    # --- sleep and wake: logind's notices on the system bus inside --------------
    def sleep(self, delay_max=5.0):
        """PrepareForSleep(true); then waits as logind does, at most delay_max seconds, until every
        inhibitor lock is released: the seconds waited, or None when locks were still held."""
        self.run(bus.prepare_for_sleep_argv(True), user="root", check=True)
        started = time.monotonic()
        try:
            waiting.until(lambda: self.inhibitors() == 0, delay_max, "the inhibitor locks")
        except waiting.Timeout:
            return None
        return time.monotonic() - started

    def wake(self):
        """PrepareForSleep(false). Programs take their locks again by themselves."""
        self.run(bus.prepare_for_sleep_argv(False), user="root", check=True)

    def inhibitors(self):
        """How many inhibitor locks programs hold through the logind stand-in."""
        with open(os.path.join(self.var, os.path.basename(layout.INHIBITORS))) as f:
            return int(f.read())

    # --- files inside ---------------------------------------------------------
    def host_path(self, inside_path):
        """Host path of an absolute path inside (valid while the environment runs)."""
        return "/proc/%d/root%s" % (self.meta["anchor_pid"], inside_path)

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
        """Writes a file inside, owned by alice or root (its folder must exist)."""
        path = self.host_path(inside_path)
        with open(path, "wb") as f:
            f.write(data.encode("utf-8") if isinstance(data, str) else data)
        os.chown(path, *((layout.UID, layout.GID) if owner == "alice" else (0, 0)))
        os.chmod(path, mode)

    @staticmethod
    def wait_for(condition, timeout, what="the condition", interval=0.05):
        """Polls condition() until it returns something true (and returns that); fails the test
        naming `what` (or what it returns, if callable) at the deadline."""
        try:
            return waiting.until(condition, timeout, what, interval)
        except waiting.Timeout as timeout_error:
            raise AssertionError(str(timeout_error)) from None
