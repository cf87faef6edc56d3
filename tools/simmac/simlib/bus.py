"""The simulated Mac's system bus: a private dbus-daemon listening at the
default address inside the environment, with a stand-in for logind
(logind.py) that hands out inhibitor locks. A program inside thus gets
logind's sleep and wake notices as on Linux, which `simmac sleep` and
`simmac wake` send (PrepareForSleep, through dbus-send).

Both daemons are the simulator's own: the anchor starts them and they end
with the environment; ps and SimMac.pids() leave them out.
"""
import os
import select
import subprocess
import time

from . import layout, procs

CONFIG = os.path.join(layout.SIMLIB, "system-bus.conf")
LOGIND = os.path.join(layout.SIMLIB, "logind.py")
ENV = {"PATH": "/usr/bin:/bin"}     # the default bus address, whatever the host's


def start(deadline):
    """In the anchor, after pivot_root: the bus, and logind once the bus
    listens. ready() then waits for logind, so that the rest of the start-up
    runs meanwhile."""
    os.makedirs(os.path.dirname(layout.BUS_SOCKET), exist_ok=True)
    daemon = _spawn(["dbus-daemon", "--config-file=" + CONFIG, "--nofork", "--print-address"])
    _wait_for_first_line(daemon, deadline)
    return [daemon, _spawn([layout.PYTHON, "-I", LOGIND])]


def ready(daemons, deadline):
    """Waits for logind; returns [{"pid", "start"}] of both daemons."""
    _wait_for_first_line(daemons[1], deadline)
    return [{"pid": p.pid, "start": procs.starttime(p.pid)} for p in daemons]


def _spawn(argv):
    return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env=ENV, close_fds=True)


def _wait_for_first_line(daemon, deadline):
    """A daemon here prints a first line once it is ready."""
    with daemon.stdout:
        if not select.select([daemon.stdout], [], [], max(deadline - time.monotonic(), 0))[0] \
                or not daemon.stdout.readline():
            raise RuntimeError("%s did not start" % daemon.args[0])


def prepare_for_sleep_argv(sleeping):
    """dbus-send's command line for logind's notice, run inside."""
    return ["dbus-send", "--system", "--type=signal", "/org/freedesktop/login1",
            "org.freedesktop.login1.Manager.PrepareForSleep", "boolean:" + ("true" if sleeping else "false")]
