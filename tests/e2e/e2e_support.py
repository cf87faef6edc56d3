"""Shared pieces of the end-to-end tests: the simulated Mac's harness, the
build directory, and a TestCase that gives every test a fresh environment
and always tears it down.

Where the machine cannot host the simulated Mac (not root, no namespaces,
no FUSE, a missing tool), the tests fail with the reason; they never skip.
"""
import os
import re
import sys
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools", "simmac"))

from harness import SimMac, SimError  # noqa: E402,F401  (SimError: for the tests)
from simlib import lifecycle  # noqa: E402

LOG = SimMac.HOME + "/Library/Logs/Drivelark.log"
LOG_LINE = re.compile(r"^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\] (.*)$")


def build_dir():
    """$DRIVELARK_BUILD_DIR, or the default preset's build directory."""
    return os.path.abspath(os.environ.get("DRIVELARK_BUILD_DIR") or os.path.join(REPO, "build"))


def build_file(*candidates):
    """The first of the given paths (relative to the build directory) that
    exists; fails the test with the list otherwise."""
    base = build_dir()
    for c in candidates:
        p = os.path.join(base, c)
        if os.path.isfile(p) and os.access(p, os.X_OK):
            return p
    raise AssertionError("none of %s exists under %s (build Drivelark first: cmake --preset default && "
                         "cmake --build --preset default, or set DRIVELARK_BUILD_DIR)" % (list(candidates), base))


def drivelark_binary():
    return build_file("Drivelark.app/Contents/MacOS/drivelark", "drivelark")


class SimMacTestCase(unittest.TestCase):
    """Each test runs in a fresh simulated Mac (self.mac) that is stopped
    whatever happens; the repository and the build directory are visible
    inside at their own paths."""

    need_fat = True
    need_exfat = True

    @classmethod
    def setUpClass(cls):
        lifecycle.preflight(need_fat=cls.need_fat, need_exfat=cls.need_exfat)
        lifecycle.sweep()      # what crashed runs left (environments of live runs are kept)

    def setUp(self):
        binds = [build_dir()] if os.path.isdir(build_dir()) else []
        self.mac = SimMac(binds=binds)
        self.addCleanup(self._stop)
        self.mac.start()

    def _stop(self):
        if self.mac.meta is not None:
            self.mac.stop()

    # --- conveniences -----------------------------------------------------------
    def run_in(self, argv, user="alice", **kw):
        return self.mac.run(argv, user=user, **kw)

    def sh(self, script, user="alice", **kw):
        return self.mac.run(["/bin/sh", "-c", script], user=user, **kw)

    def mount_lines(self):
        r = self.run_in(["/sbin/mount"])
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout.splitlines()

    def log_lines(self):
        return self.mac.read_text(LOG, "").splitlines()


def main():
    unittest.main(verbosity=2)
