"""The anchor: the first process of an environment's mount namespace.

`simmac start` runs it through `unshare --mount --propagation private`. It
builds the root, pivots into it, installs the simulated programs, says it is
ready, and then just stays, so that the namespace lives on and others can
enter it with nsenter. If the process that owns the environment (a test run)
dies, the anchor ends the environment itself.

usage: anchor.py --simmac-anchor STATE_DIR OWNER_PID OWNER_START BINDS_JSON
"""
import json
import os
import signal
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from simlib import bus, layout, procs, rootfs, state  # noqa: E402


def main(argv):
    _, marker, state_dir, owner, owner_start, binds = argv
    assert marker == layout.MARKER
    owner = int(owner) if owner != "-" else None
    owner_start = int(owner_start) if owner_start != "-" else None
    try:
        root = rootfs.build(state_dir, json.loads(binds))
        rootfs.pivot(root)
        deadline = time.monotonic() + 20
        daemons = bus.start(deadline)
        rootfs.install_programs()
        rootfs.record_plumbing()
        state.StateFile().create()
        fd = os.open(layout.AUDIT, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o666)
        os.fchmod(fd, 0o666)
        os.close(fd)
        for d in (layout.IMAGES, layout.SCRATCH, layout.DAEMON_LOGS):
            os.makedirs(d, mode=0o700, exist_ok=True)
        with state.StateFile().locked() as st:
            st["bus_daemons"] = bus.ready(daemons, deadline)
        with open(layout.READY, "w") as f:
            f.write(str(os.getpid()))
    except Exception:
        traceback.print_exc()
        return 1
    sys.stdout.flush()

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    while not stop:
        if owner is not None and not procs.alive(owner, owner_start):
            print("owner %d is gone; ending the environment" % owner, flush=True)
            break
        time.sleep(0.5)
    end_namespace()
    return 0


def end_namespace():
    """Kill every other process of this namespace, so that it goes away
    (and all its mounts with it) when the anchor exits."""
    me = os.getpid()
    ino = procs.ns_inode(me)
    for _ in range(20):
        others = [p for p in procs.pids_in_namespace(ino) if p != me]
        if not others:
            return
        procs.kill_and_wait(others, timeout=2.0)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
