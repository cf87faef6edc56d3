#!/usr/bin/python3 -I
"""/usr/bin/stat of the simulated Mac: BSD stat, in the form installers use,
`stat [-L] -f FORMAT [--] FILE...` (`stat -f%Su /dev/console` names the
console user). FORMAT may hold %u and %g (ids), %Su and %Sg (names), %Lp
(permission bits in octal) and %%. Another option is refused as BSD stat
refuses it, so that a script's GNU `stat -c` finds out it is on a Mac;
another field of FORMAT fails loudly.
"""
import grp
import os
import pwd
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit  # noqa: E402

USAGE = "usage: stat [-FLnq] [-f format | -l | -r | -s | -x] [-t timefmt] [file|handle ...]\n"
FIELD = re.compile(r"%(Su|Sg|u|g|Lp|%|.?)")


def name(lookup, number):
    try:
        return lookup(number)[0]
    except KeyError:
        return str(number)


def render(fmt, s):
    def field(m):
        return {"u": str(s.st_uid), "g": str(s.st_gid), "Su": name(pwd.getpwuid, s.st_uid),
                "Sg": name(grp.getgrgid, s.st_gid), "Lp": "%o" % (s.st_mode & 0o7777), "%": "%"}[m.group(1)]
    return FIELD.sub(field, fmt)


def main(argv):
    args = argv[1:]
    audit.record(argv[0], args)
    follow, fmt = False, None
    while args and args[0].startswith("-"):
        option = args.pop(0)
        if option == "--":
            break
        if option == "-L":
            follow = True
        elif option.startswith("-f") and (len(option) > 2 or args):
            fmt = option[2:] or args.pop(0)
        else:
            sys.stderr.write("stat: illegal option -- %s\n%s" % (option[1:2], USAGE))
            return 1
    bad = [m.group(0) for m in FIELD.finditer(fmt or "") if m.group(1) not in ("Su", "Sg", "u", "g", "Lp", "%")]
    if fmt is None or bad or not args:
        sys.stderr.write("stat (simulated): only `stat [-L] -f FORMAT FILE...` with %%u %%g %%Su %%Sg %%Lp %%%% "
                         "is simulated, not %r\n" % argv[1:])
        return 1
    status = 0
    for path in args:
        try:
            s = os.stat(path) if follow else os.lstat(path)
        except OSError as e:
            sys.stderr.write("stat: %s: stat: %s\n" % (path, e.strerror))
            status = 1
            continue
        sys.stdout.write(render(fmt, s) + "\n")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
