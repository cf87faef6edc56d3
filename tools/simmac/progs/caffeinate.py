#!/usr/bin/python3 -I
"""/usr/bin/caffeinate of the simulated Mac: holds its (imaginary) power
assertions until the process given with -w ends, the -t timeout runs out,
the utility it started exits, or it is told to stop. Not setuid: it runs
as whoever started it, who may end it with a signal.

usage: caffeinate [-disu] [-m] [-t timeout] [-w pid] [utility [args...]]
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, procs  # noqa: E402


def main(argv):
    args = argv[1:]
    audit.record(argv[0], args)
    flags, pid, timeout, i = set(), None, None, 0
    while i < len(args) and args[i].startswith("-"):
        a = args[i]
        if a in ("-w", "-t"):
            if i + 1 >= len(args) or not args[i + 1].isdigit():
                sys.stderr.write("caffeinate: option %s needs a number\n" % a)
                return 1
            if a == "-w":
                pid = int(args[i + 1])
            else:
                timeout = int(args[i + 1])
            i += 2
            continue
        for ch in a[1:]:
            if ch not in "dimsu":
                sys.stderr.write("caffeinate: illegal option -- %s\n"
                                 "usage: caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]\n" % ch)
                return 1
            flags.add(ch)
        i += 1
    utility = args[i:]
    deadline = time.monotonic() + timeout if timeout is not None else None
    if utility:
        return subprocess.call(utility)
    start = procs.starttime(pid) if pid is not None else None
    if pid is not None and start is None:
        return 0                        # nothing to wait for
    while True:
        if pid is not None and not procs.alive(pid, start):
            return 0
        if deadline is not None and time.monotonic() >= deadline:
            return 0
        time.sleep(0.2)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
