"""The simulated Mac's system bus: a private dbus-daemon listening at the
default address inside the environment, with a stand-in for logind
(logind.c) that hands out inhibitor locks. A program inside thus gets
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
LOGIND = "/usr/libexec/simmac/logind"
LOGIND_SOURCE = os.path.join(layout.SIMLIB, "logind.c")
ENV = {"PATH": "/usr/bin:/bin", "TMPDIR": "/tmp"}   # the default bus address, whatever the host's


def build_logind():
    """Starts the build of the logind stand-in, to run beside the rest of
    the start-up; start() waits for it."""
    os.makedirs(os.path.dirname(LOGIND), exist_ok=True)
    return subprocess.Popen(["gcc", "-O2", "-Wall", "-o", LOGIND, '-DINHIBITORS="%s"' % layout.INHIBITORS,
                             LOGIND_SOURCE, "-lsystemd"], stdin=subprocess.DEVNULL, env=ENV)


def start(build, timeout=30.0):
    """In the anchor, after pivot_root: the bus, then logind once built.
    Returns [{"pid", "start"}] of both."""
    deadline = time.monotonic() + timeout
    os.makedirs(os.path.dirname(layout.BUS_SOCKET), exist_ok=True)
    daemons = [_started(["dbus-daemon", "--config-file=" + CONFIG, "--nofork", "--print-address"], deadline)]
    if build.wait(max(deadline - time.monotonic(), 0)) != 0:
        raise RuntimeError("the logind stand-in did not build")
    daemons.append(_started([LOGIND], deadline))
    return [{"pid": p, "start": procs.starttime(p)} for p in daemons]


def _started(argv, deadline):
    """Starts a daemon and waits until it prints its first line (it is ready then)."""
    p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env=ENV, close_fds=True)
    with p.stdout:
        if not select.select([p.stdout], [], [], max(deadline - time.monotonic(), 0))[0] or not p.stdout.readline():
            raise RuntimeError("%s did not start" % argv[0])
    return p.pid


def prepare_for_sleep_argv(sleeping):
    """dbus-send's command line for logind's notice, run inside."""
    return ["dbus-send", "--system", "--type=signal", "/org/freedesktop/login1",
            "org.freedesktop.login1.Manager.PrepareForSleep", "boolean:" + ("true" if sleeping else "false")]
