#!/usr/bin/python3 -I
"""/usr/bin/caffeinate of the simulated Mac, for the form Drivelark runs:
`caffeinate -i -m -w PID` holds its (imaginary) assertions against idle system
and disk sleep until process PID ends, or until it is told to stop. Not
setuid: it runs as whoever started it, who may end it with a signal. Any
other form fails loudly.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, procs  # noqa: E402


def main(argv):
    args = argv[1:]
    audit.record(argv[0], args)
    if len(args) != 4 or args[:3] != ["-i", "-m", "-w"] or not args[3].isdigit():
        sys.stderr.write("caffeinate (simulated): only `caffeinate -i -m -w PID` is simulated, not %r\n" % args)
        return 1
    pid = int(args[3])
    start = procs.starttime(pid)
    while procs.alive(pid, start):
        time.sleep(0.2)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
