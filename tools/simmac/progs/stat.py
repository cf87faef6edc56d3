#!/usr/bin/python3 -I
"""/usr/bin/stat with the Mac's `-f FORMAT` (BSD stat), which installers use,
e.g. `stat -f%Su /dev/console` for the console user. Any other use goes to
GNU stat unchanged.

Understood in FORMAT: %u %g (ids), %Su %Sg (names), %N (name), %z (size),
%p (mode in octal), %Lp (permission bits in octal), %Sp (ls-style mode),
%m (modification time, seconds), %%.
"""
import grp
import os
import pwd
import re
import stat as st
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit  # noqa: E402
from simlib.layout import REAL_STAT  # noqa: E402


def bsd_args(args):
    """(follow links, format, files) for a BSD-style call, else None."""
    follow, fmt, files, i = False, None, [], 0
    while i < len(args):
        a = args[i]
        if a == "-L":
            follow = True
        elif a == "-f" and i + 1 < len(args):
            fmt = args[i + 1]
            i += 1
        elif a.startswith("-f") and "%" in a:
            fmt = a[2:]
        elif a.startswith("-"):
            return None
        else:
            files.append(a)
        i += 1
    if fmt is None or "%" not in fmt or not files:
        return None
    return follow, fmt, files


def _name(fn, ident):
    try:
        return fn(ident)[0]
    except KeyError:
        return str(ident)


def render(fmt, path, s):
    def field(m):
        as_text, low, ch = m.group(1), m.group(2), m.group(3)
        if ch == "%":
            return "%"
        if ch == "u":
            return _name(pwd.getpwuid, s.st_uid) if as_text else str(s.st_uid)
        if ch == "g":
            return _name(grp.getgrgid, s.st_gid) if as_text else str(s.st_gid)
        if ch == "N":
            return path
        if ch == "z":
            return str(s.st_size)
        if ch == "m":
            return str(int(s.st_mtime))
        if ch == "p":
            if as_text:
                return st.filemode(s.st_mode)
            return "%o" % (st.S_IMODE(s.st_mode) if low else s.st_mode)
        return m.group(0)
    return re.sub(r"%(S?)(L?)([ugNzmp%])", field, fmt)


def main(argv):
    parsed = bsd_args(argv[1:])
    if parsed is None:
        os.execv(REAL_STAT, ["stat"] + argv[1:])
    follow, fmt, files = parsed
    audit.record(argv[0], argv[1:])
    status = 0
    for path in files:
        try:
            s = os.stat(path) if follow else os.lstat(path)
        except OSError as e:
            sys.stderr.write("stat: %s: stat: %s\n" % (path, e.strerror))
            status = 1
            continue
        sys.stdout.write(render(fmt, path, s) + "\n")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
