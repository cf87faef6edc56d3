"""A unittest TestCase that gives every test a fresh simulated Mac and always tears it down.
Where the machine cannot host the simulated Mac (not root, no namespaces, no FUSE, a missing
tool), the tests fail with the reason; they never skip."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import SimMac, SimError  # noqa: E402,F401  (SimError: for the tests)
from simlib import lifecycle  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class SimMacTestCase(unittest.TestCase):
    """Each test runs in a fresh simulated Mac (self.mac) that is stopped
    whatever happens; the repository (and $DRIVELARK_BUILD_DIR) are visible
    inside at their own paths."""

    @classmethod
    def setUpClass(cls):
        lifecycle.preflight()
        lifecycle.sweep()      # what crashed runs left (environments of live runs are kept)

    def setUp(self):
        self.mac = SimMac()
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


def main():
    unittest.main(verbosity=2)
