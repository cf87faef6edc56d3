"""Shared pieces of the end-to-end tests: Drivelark's bundle, its log, registry and mounts as the
simulated Mac shows them, and TestCases that give every test a fresh simulated Mac with the build
directory inside ($DRIVELARK_BUILD_DIR, or the default preset's build)."""
import os
import plistlib
import re
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tools", "simmac"))

import simmac_testcase  # noqa: E402
from simmac_testcase import SimMac, main  # noqa: E402,F401  (for the tests)

BUNDLE = os.path.join(os.path.abspath(os.environ.get("DRIVELARK_BUILD_DIR") or os.path.join(REPO, "build")),
                      "Drivelark.app/Contents")
LOG = SimMac.HOME + "/Library/Logs/Drivelark.log"
LOG_LINE = re.compile(r"^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\] (.*)$")
PREFERENCES = SimMac.HOME + "/Library/Preferences/com.drivelark.Drivelark.plist"
HELPER_DIR = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark"
HELPER = HELPER_DIR + "/drivelark-mount"
RULE = "/etc/sudoers.d/drivelark"
RW, RO = ("nfs", False), ("ntfs", True)


class SimMacTestCase(simmac_testcase.SimMacTestCase):
    """A fresh simulated Mac per test, and Drivelark's view of it."""

    def setUp(self):
        self.assertTrue(os.access(BUNDLE + "/MacOS/drivelark", os.X_OK), "build Drivelark first, or set DRIVELARK_BUILD_DIR")
        super().setUp()

    def log_lines(self):
        return [line for line in self.mac.read_text(LOG, "").split("\n") if line]

    def log(self):
        """The messages of Drivelark's log, unstamped; continuation lines (four blanks) joined on."""
        messages = []
        for line in self.log_lines():
            m = LOG_LINE.match(line)
            if m:
                messages.append(m.group(2))
            elif line.startswith("    ") and messages:
                messages[-1] += "\n" + line[4:]
            else:
                raise AssertionError("a log line neither stamped nor a continuation: %r" % line)
        return messages

    def mounts(self):
        """Mount point -> (type, read-only), as the simulated mount lists them."""
        table = {}
        for line in self.mount_lines():
            mount_point, options = line.split(" on ", 1)[1].split(" (", 1)
            table[mount_point] = (options.split(",")[0], "read-only" in options)
        return table

    def registry(self):
        """(managedNames, managedDevs) from the user-defaults file."""
        stored = plistlib.loads(self.mac.read_bytes(PREFERENCES)) if os.path.exists(self.mac.host_path(PREFERENCES)) else {}
        return stored.get("managedNames", {}), stored.get("managedDevs", {})

    def attach_ntfs(self, name="Data", scheme="gpt", **keys):
        return self.mac.attach(scheme=scheme, partitions=[dict({"fs": "ntfs", "name": name}, **keys)])["partitions"][0]

    def install_helper(self):
        r = self.run_in(["/bin/bash", BUNDLE + "/Resources/install_helper.sh", BUNDLE + "/MacOS",
                         BUNDLE + "/Resources"], user="root")
        self.assertEqual((r.returncode, r.stdout), (0, "HELPER_INSTALL_OK\n"), r.stderr)

    def helper_runs(self, command):
        """The helper's runs of `command` (mount, fix, ...) through sudo or the password prompt."""
        return [e["argv"][2:] for e in self.mac.audit("sudo") if e["argv"][2:3] == [command]] + \
            [e["shell"] for e in self.mac.audit("osascript") if "/drivelark-mount' '%s' " % command in e.get("shell", "")]

    def assert_writable(self, mount_point, content="hello from the Mac"):
        self.assertEqual(self.mounts().get(mount_point), RW, mount_point)
        path = mount_point + "/hello.txt"
        r = self.run_in(["/bin/sh", "-c", 'printf %s "$0" > "$1" && cat "$1"', content, path])
        self.assertEqual((r.returncode, r.stdout), (0, content), r.stderr)


class AppTestCase(SimMacTestCase):
    """Tests of Drivelark itself, launched through its terminal front end."""

    def launch(self, auto_mount=True):
        if not auto_mount:
            self.mac.write_file(PREFERENCES, plistlib.dumps({"autoMount": False}))
        app = App(self)
        app.wait_for_output("状态栏: 无读写卷\n")
        return app

    def wait_mounted(self, mount_point, kind=RW, timeout=60):
        self.mac.wait_for(lambda: self.mounts().get(mount_point) == kind, timeout,
                          lambda: "%s %s; the log:\n%s" % (mount_point, kind, "\n".join(self.log()[-20:])))

    def wait_unmounted(self, mount_point, timeout=30):
        self.mac.wait_for(lambda: mount_point not in self.mounts(), timeout, mount_point + " gone")

    def wait_past(self, message, seconds):
        """Waits until `seconds` have passed since the last log line that begins with `message` (the
        engine's rules: 6 s in which an unmount counts as its own, 8 s in which losses count as one)."""
        stamps = [m.group(1) for m in map(LOG_LINE.match, self.log_lines()) if m and m.group(2).startswith(message)]
        since = time.mktime(time.strptime(stamps[-1], "%Y-%m-%d %H:%M:%S"))
        self.mac.wait_for(lambda: time.time() >= since + seconds + 1, seconds + 2, "%s s after %r" % (seconds, message))

    def ntfs3g_pid(self, device):
        """The read-write ntfs-3g that serves `device`, if one runs."""
        return next((pid for pid, argv in self.mac.processes()
                     if os.path.basename(argv[0]) == "ntfs-3g" and "/dev/" + device in argv and "-o" in argv
                     and "ro,no_detach" not in argv), None)

    def passes(self):
        return sum(1 for e in self.mac.audit("diskutil") if e["argv"] == ["list", "-plist"])

    def wait_passes(self, count, timeout=60):
        """Waits until `count` more reconcile passes have run (three seconds apart)."""
        target = self.passes() + count
        self.mac.wait_for(lambda: self.passes() >= target, timeout, "%d more passes" % count)


class App:
    """Drivelark inside as alice: lines on its standard input, its output in a file; ended by pid."""

    def __init__(self, case):
        self.case, self.mac = case, case.mac
        self.out_path = os.path.join(self.mac.state_dir, "drivelark.out")
        self.read_up_to = 0  # output before this offset has been answered already
        with open(self.out_path, "wb") as out:
            self.process = subprocess.Popen(self.mac.command([BUNDLE + "/MacOS/drivelark"]), stdin=subprocess.PIPE,
                                            stdout=out, stderr=subprocess.STDOUT)
        case.addCleanup(self.stop)

    def stop(self):
        """Ends Drivelark as the system does (SIGTERM); it must end cleanly, and not before."""
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(20)
        self.process.stdin.close()
        self.case.assertEqual(self.process.returncode, 0, "Drivelark's exit:\n" + self.output()[-2000:])

    def output(self):
        with open(self.out_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def send(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def wait_for_output(self, text, timeout=15, after=0):
        """Waits until `text` appears in the output past offset `after`; the offset after it."""
        def seen():
            found = self.output().find(text, after)
            return found + len(text) if found >= 0 else None
        return self.mac.wait_for(seen, timeout, lambda: repr(text) + " from Drivelark:\n" + self.output()[after:])

    def menu(self, within=None):
        """Opens the menu: its rows by number. `within`: seconds in which it must open."""
        start, started = len(self.output()), time.monotonic()
        self.send("m")
        end = self.wait_for_output(". 退出\n", after=start)
        if within is not None:
            self.case.assertLess(time.monotonic() - started, within, "the menu was slow")
        rows = [line.strip().partition(". ") for line in self.output()[start:end].splitlines()]
        return {int(number): title for number, dot, title in rows if dot and number.isdigit()}

    def choose(self, title, timeout=15):
        """Chooses the row that begins with `title` (after a check mark, if any), opening the menu
        again until it has one: it shows what the last reading of the disks found."""
        def row():
            return next((n for n, r in self.menu().items() if r.removeprefix("✓ ").startswith(title)), None)
        self.send(str(self.mac.wait_for(row, timeout, "a row %r in the menu" % title, interval=0.3)))

    def answer(self, message, button):
        """Waits for the next alert `message` and chooses its button `button` (a title)."""
        start = self.wait_for_output("「%s」\n" % message, timeout=60, after=self.read_up_to)
        end = self.wait_for_output(") %s\n" % button, after=start)
        self.read_up_to = end
        number = self.output()[:end].rsplit("\n", 2)[-2].strip().split(")")[0]
        self.send(number)

    def wait_for_log(self, message, timeout=30):
        """Waits for a log line that begins with `message`."""
        return self.mac.wait_for(lambda: any(line.startswith(message) for line in self.case.log()), timeout,
                                 lambda: repr(message) + " in the log:\n" + "\n".join(self.case.log()))
