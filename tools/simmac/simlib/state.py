"""The simulated Mac's state file: attached disks, the system's own mounts,
the queue of answers for the password dialog and the prompt counter.

Every change is a locked read-modify-write, because the simulated programs
run concurrently (Drivelark calls diskutil while a test attaches a disk).
The lock is an flock on a separate file, so it works from the host (through
the state directory) and from inside the namespace alike.
"""
import contextlib
import fcntl
import json
import os

from . import layout


def empty_state():
    return {
        "version": 1,
        "fstype_shown": False,  # FilesystemType in the listing's volume entries (a real Mac leaves it out)
        "answers": [],          # next answers of the password dialog (see dialog.py)
        "prompts": 0,           # how many times the password dialog was shown
        "disks": {},            # "disk4" -> disk description (see disks.py)
        "system_mounts": [],    # mounts that the simulated system made (see mounttab.py)
        "faults": {},           # program -> {"mode", "verbs"} (see faults.py)
        "bus_daemons": [],      # {"pid", "start"} of the system bus and the logind stand-in (see bus.py)
    }


class StateFile:
    def __init__(self, var_dir=layout.SIM_VAR):
        self.path = os.path.join(var_dir, "state.json")
        self.lock_path = os.path.join(var_dir, "state.lock")

    def create(self):
        with self.locked() as st:
            st.clear()
            st.update(empty_state())

    def read(self):
        with open(self.lock_path, "a+") as lk:
            fcntl.flock(lk, fcntl.LOCK_SH)
            return self._load()

    def _load(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return json.load(f)
        except FileNotFoundError:
            return empty_state()

    @contextlib.contextmanager
    def locked(self):
        """Yields the state as a dict; writes it back when the block ends normally."""
        fd = os.open(self.lock_path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o600)
        with os.fdopen(fd, "r+") as lk:
            fcntl.flock(lk, fcntl.LOCK_EX)
            st = self._load()
            yield st
            tmp = self.path + ".tmp"
            with open(tmp, "w", encoding="utf-8") as f:
                json.dump(st, f, indent=1, ensure_ascii=False)
            os.chmod(tmp, 0o600)
            os.replace(tmp, self.path)
