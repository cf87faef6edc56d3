"""Shared pieces of the end-to-end tests: the build directory, Drivelark's
log, and a TestCase that gives every test a fresh simulated Mac with the
build directory visible inside."""
import os
import re
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools", "simmac"))

import simmac_testcase  # noqa: E402
from simmac_testcase import SimMac, SimError, main  # noqa: E402,F401  (for the tests)

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


class SimMacTestCase(simmac_testcase.SimMacTestCase):
    """A fresh simulated Mac per test, with the build directory inside."""

    def binds(self):
        return [build_dir()] if os.path.isdir(build_dir()) else []

    def log_lines(self):
        return self.mac.read_text(LOG, "").splitlines()
