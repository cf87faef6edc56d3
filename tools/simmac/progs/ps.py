#!/usr/bin/python3 -I
"""/bin/ps of the simulated Mac (BSD ps; setuid root, as on a Mac, so that
it sees every user's processes with their arguments).

It lists the processes of this simulated Mac only (its mount namespace),
and not the daemons that serve the system's own NTFS, FAT and exFAT mounts:
on a Mac those are kernel file systems, not processes. The simulator's own
processes (the anchor, its inside operations, its system bus and logind
stand-in) are left out too. A program the simulator runs through Python
shows as the Mac's program it stands for (/usr/sbin/diskutil ...,
/usr/bin/caffeinate ...).

Understood: -A -e (every process), -a (every user's), -x (also those without
a terminal), -w (wider; twice: unlimited), -o FORMAT (pid ppid uid user tty
time comm ucomm args command; `kw=` or `kw=HEADER` sets the header, a header
line is printed unless every header is empty), -p PIDS, -U/-u USERS, and the
old style without a dash (ps axww). Without -w a line is cut at 79 columns
(or $COLUMNS), as BSD ps does when standard output is not a terminal. Exit
status 1 when no process matched.
"""
import os
import pwd
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, layout, procs  # noqa: E402
from simlib.state import StateFile  # noqa: E402

USAGE = ("usage: ps [-AaCcEefhjlMmrSTvwXx] [-O fmt | -o fmt] [-G gid[,gid...]]\n"
         "          [-g grp[,grp...]] [-u [uid,uid...]]\n"
         "          [-p pid[,pid...]] [-t tty[,tty...]] [-U user[,user...]]\n"
         "       ps [-L]\n")

# keyword -> (header, right-justified, minimum width)
KEYWORDS = {
    "pid": ("PID", True, 5), "ppid": ("PPID", True, 5), "uid": ("UID", True, 5),
    "user": ("USER", False, 0), "tty": ("TTY", False, 3), "time": ("TIME", True, 0),
    "comm": ("COMM", False, 0), "ucomm": ("UCOMM", False, 0),
    "args": ("ARGS", False, 0), "command": ("COMMAND", False, 0),
}
DEFAULT_FORMAT = ["pid", "tty", "time", "command"]

# The Mac's path of each program that a setuid shim runs from progs/.
MAC_PATHS = {"diskutil.py": "/usr/sbin/diskutil", "mount.py": "/sbin/mount", "sudo.py": "/usr/bin/sudo",
             "osascript.py": "/usr/bin/osascript", "ps.py": "/bin/ps"}


class UsageError(Exception):
    pass


def parse(args):
    """Options as BSD ps reads them."""
    o = {"all": False, "users": False, "no_tty": False, "wide": 0, "format": [], "pids": [],
         "who": []}
    if args and not args[0].startswith("-"):
        args = ["-" + args[0]] + args[1:]       # ps axww: the old style
    i = 0
    while i < len(args):
        a = args[i]
        if not a.startswith("-") or a == "-":
            raise UsageError("")
        j = 1
        while j < len(a):
            ch = a[j]
            if ch in "Ae":
                o["all"] = True
            elif ch == "a":
                o["users"] = True
            elif ch == "x":
                o["no_tty"] = True
            elif ch == "w":
                o["wide"] += 1
            elif ch in "opUu":
                if j + 1 < len(a):
                    value = a[j + 1:]
                elif i + 1 < len(args):
                    i += 1
                    value = args[i]
                else:
                    raise UsageError("ps: option requires an argument -- %s\n" % ch)
                items = [v for v in value.replace(" ", ",").split(",") if v]
                if ch == "o":
                    o["format"] += [_keyword(v) for v in items]
                elif ch == "p":
                    for v in items:
                        if not v.isdigit():
                            raise UsageError("ps: %s: illegal process id\n" % v)
                        o["pids"].append(int(v))
                else:
                    o["who"] += [_uid(v) for v in items]
                break
            else:
                raise UsageError("ps: illegal option -- %s\n" % ch)
            j += 1
        i += 1
    return o


def _keyword(text):
    name, eq, header = text.partition("=")
    if name not in KEYWORDS:
        raise UsageError("ps: %s: keyword not found\nps: no valid keywords; valid keywords:\n%s\n"
                         % (name, " ".join(sorted(KEYWORDS))))
    return name, header if eq else KEYWORDS[name][0]


def _uid(text):
    if text.isdigit():
        return int(text)
    try:
        return pwd.getpwnam(text).pw_uid
    except KeyError:
        raise UsageError("ps: %s: no such user\n" % text) from None


def hidden_pids():
    """The system's FUSE daemons (kernel file systems on a Mac), and the
    simulator's system bus with its logind stand-in."""
    st = StateFile().read()
    return {r["pid"] for r in st.get("system_mounts", []) + st.get("bus_daemons", [])
            if procs.alive(r["pid"], r["start"])}


def mac_argv(argv):
    """What the Mac would show for a program the simulator runs through
    Python; None for the simulator's own processes."""
    if len(argv) >= 3 and os.path.basename(argv[0]).startswith("python3") and argv[1] == "-I":
        script = argv[2]
        if os.path.dirname(script) == layout.SIMLIB:
            return None
        if os.path.dirname(script) == layout.PROGS and os.path.basename(script) in MAC_PATHS:
            return [MAC_PATHS[os.path.basename(script)]] + argv[3:]
        if script in layout.PLAIN_PROGRAMS:
            return argv[2:]
    return argv


def _stat(pid):
    with open("/proc/%d/stat" % pid, "rb") as f:
        data = f.read()
    name = data[data.index(b"(") + 1:data.rindex(b")")].decode("utf-8", "replace")
    rest = data[data.rindex(b")") + 2:].split()
    return name, int(rest[1]), int(rest[4]), int(rest[11]) + int(rest[12])


def _ruid(pid):
    with open("/proc/%d/status" % pid, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("Uid:"):
                return int(line.split()[1])
    return -1


def processes():
    """[(pid, fields)] of this Mac's processes, in pid order."""
    me = procs.ns_inode(os.getpid())
    hidden = hidden_pids()
    out = []
    for pid in sorted(procs.all_pids()):
        if pid in hidden or procs.ns_inode(pid) != me:
            continue
        try:
            name, ppid, tty, ticks = _stat(pid)
            uid = _ruid(pid)
        except (OSError, ValueError, IndexError):
            continue
        argv = mac_argv(procs.cmdline(pid))
        if argv is None:
            continue
        if not argv:
            argv = ["(%s)" % name]
        out.append((pid, {"ppid": ppid, "tty": tty, "ticks": ticks, "uid": uid, "argv": argv}))
    return out


def selected(plist, o, caller):
    if o["all"]:
        return plist
    if o["pids"] or o["who"]:
        return [(p, f) for p, f in plist if p in o["pids"] or f["uid"] in o["who"]]
    return [(p, f) for p, f in plist
            if (o["users"] or f["uid"] == caller) and (o["no_tty"] or f["tty"] != 0)]


def _user(uid):
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return str(uid)


def value(kw, pid, f):
    if kw in ("pid", "ppid", "uid"):
        return str(pid if kw == "pid" else f[kw])
    if kw == "user":
        return _user(f["uid"])
    if kw == "tty":
        return "??" if f["tty"] == 0 else "ttys%03d" % (f["tty"] & 0xff)
    if kw == "time":
        secs = f["ticks"] / os.sysconf("SC_CLK_TCK")
        return "%d:%05.2f" % (secs // 60, secs % 60)
    if kw == "comm":
        return f["argv"][0]
    if kw == "ucomm":
        return os.path.basename(f["argv"][0])
    return " ".join(f["argv"])


def render(fmt, rows, width):
    """Columns one blank apart; the last one is not padded; every line is cut
    at width (None: unlimited)."""
    cells = [[value(kw, pid, f) for kw, _ in fmt] for pid, f in rows]
    lines = []
    show_header = any(h for _, h in fmt)
    table = ([[h for _, h in fmt]] if show_header else []) + cells
    widths = [max([KEYWORDS[kw][2], len(h)] + [len(c[i]) for c in cells]) for i, (kw, h) in enumerate(fmt)]
    for row in table:
        parts = []
        for i, (kw, _) in enumerate(fmt):
            last = i == len(fmt) - 1
            if KEYWORDS[kw][1]:
                parts.append(row[i].rjust(widths[i]))
            else:
                parts.append(row[i] if last else row[i].ljust(widths[i]))
        line = " ".join(parts)
        lines.append(line if width is None else line[:width])
    return "".join(l + "\n" for l in lines)


def main(argv):
    caller = audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/bin/ps"), args)
    try:
        o = parse(args)
    except UsageError as e:
        sys.stderr.write(str(e) + USAGE)
        return 1
    columns = os.environ.get("COLUMNS", "")
    width = int(columns) if columns.isdigit() and int(columns) > 0 else 79
    if o["wide"] == 1:
        width = max(width, 131)
    elif o["wide"] > 1:
        width = None
    rows = selected(processes(), o, caller)
    fmt = o["format"] or [(kw, KEYWORDS[kw][0]) for kw in DEFAULT_FORMAT]
    text = render(fmt, rows, width)
    sys.stdout.buffer.write(text.encode("utf-8", "surrogateescape"))
    return 0 if rows else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
