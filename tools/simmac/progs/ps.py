#!/usr/bin/python3 -I
"""/bin/ps of the simulated Mac (BSD ps; setuid root, as on a Mac, so that it
sees every user's processes with their arguments), for the forms Drivelark
and its tests run: `ps -A -ww -o COLUMNS` (every process) and `ps -ww -p PID
-o COLUMNS` (one; exit 1 when it is gone), COLUMNS among pid=, ppid=, uid=,
args=. Anything else fails loudly. It lists this Mac's processes only: not
the daemons of the system's own mounts (kernel file systems on a Mac), not the
simulator's own; a program the simulator runs through Python shows as the
Mac's program it stands for. Numbers are right-aligned (at least 5 wide), one
blank apart; arguments are printed as the raw bytes they are.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, layout, procs  # noqa: E402
from simlib.state import StateFile  # noqa: E402

COLUMNS = ("pid", "ppid", "uid", "args")
FORMS = "ps -A -ww -o COLUMNS= or ps -ww -p PID -o COLUMNS=, COLUMNS among pid, ppid, uid, args"


def parse(args):
    """(the pid asked for, or None for every process; the columns); ValueError otherwise."""
    seen, pid, columns = set(), None, None
    i = 0
    while i < len(args):
        option = args[i]
        if option in seen or option not in ("-A", "-ww", "-p", "-o"):
            raise ValueError
        seen.add(option)
        if option in ("-p", "-o"):
            i += 1
            value = args[i] if i < len(args) else ""
            if option == "-p":
                if not value.isdigit():
                    raise ValueError
                pid = int(value)
            else:
                columns = [c[:-1] for c in value.split(",")]
                if not all(c.endswith("=") for c in value.split(",")) or not set(columns) <= set(COLUMNS):
                    raise ValueError
        i += 1
    if "-ww" not in seen or columns is None or ("-A" in seen) == (pid is not None):
        raise ValueError
    return pid, columns


def hidden_pids():
    """The system's FUSE daemons, and the simulator's system bus with its logind stand-in."""
    st = StateFile().read()
    return {r["pid"] for r in st.get("system_mounts", []) + st.get("bus_daemons", [])
            if procs.alive(r["pid"], r["start"])}


def mac_argv(argv):
    """What the Mac would show for a program the simulator runs through Python; None for the
    simulator's own processes."""
    if len(argv) >= 3 and os.path.basename(argv[0]).startswith("python3") and argv[1] == "-I":
        script = argv[2]
        if os.path.dirname(script) == layout.SIMLIB:
            return None
        if os.path.dirname(script) == layout.PROGS:
            module = os.path.basename(script)[:-3]
            return [path for path, m in layout.SETUID_PROGRAMS.items() if m == module][:1] + argv[3:]
        if script in layout.PLAIN_PROGRAMS:
            return argv[2:]
    return argv


def processes():
    """[(pid, ppid, uid, argv)] of this Mac's processes, in pid order."""
    me, hidden, out = procs.ns_inode(os.getpid()), hidden_pids(), []
    for pid in sorted(procs.all_pids()):
        if pid in hidden or procs.ns_inode(pid) != me:
            continue
        argv = mac_argv(procs.cmdline(pid))
        fields = procs.stat_fields(pid)
        if argv is None or fields is None:
            continue
        try:
            with open("/proc/%d/status" % pid) as f:
                uid = next(int(line.split()[1]) for line in f if line.startswith("Uid:"))
        except (OSError, StopIteration):
            continue
        out.append((pid, int(fields[1]), uid, argv or ["(%s)" % procs.name(pid)]))
    return out


def main(argv):
    audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/bin/ps"), args)
    try:
        wanted, columns = parse(args)
    except ValueError:
        sys.stderr.write("ps (simulated): only %s are simulated, not %r\n" % (FORMS, args))
        return 1
    rows = [dict(zip(COLUMNS, (str(pid), str(ppid), str(uid), " ".join(argv))))
            for pid, ppid, uid, argv in processes() if wanted in (None, pid)]
    widths = {c: max([5] + [len(r[c]) for r in rows]) for c in COLUMNS if c != "args"}
    lines = [" ".join(r[c].rjust(widths[c]) if c != "args" else r[c] for c in columns) + "\n" for r in rows]
    sys.stdout.buffer.write("".join(lines).encode("utf-8", "surrogateescape"))
    return 0 if rows else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
