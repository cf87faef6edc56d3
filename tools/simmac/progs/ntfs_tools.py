#!/usr/bin/python3 -I
"""/usr/local/bin/ntfs-3g, ntfsfix and ntfs-3g.probe: the real Debian tools,
behind a wrapper that records each run in the audit log.

/dev/diskNsM is already a link to the partition's image, so the arguments
pass through unchanged and the tools' messages name the Mac's device. For
ntfs-3g the wrapper also notes the volume name of a mount, which the
simulated `mount` shows (as FUSE-T would) in "fuse-t:/NAME".
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, faults, layout  # noqa: E402
from simlib.state import StateFile  # noqa: E402


def mount_target(args):
    """(device, mount point, volname) from ntfs-3g's command line, or None."""
    positional, volname, i = [], None, 0
    while i < len(args):
        a = args[i]
        if a == "-o" and i + 1 < len(args):
            for opt in args[i + 1].split(","):
                if opt.startswith("volname="):
                    volname = opt[len("volname="):]
            i += 2
            continue
        if not a.startswith("-"):
            positional.append(a)
        i += 1
    if len(positional) != 2:
        return None
    return positional[0], os.path.normpath(positional[1]), volname


def main(argv):
    prog = os.path.basename(argv[0])
    real = layout.REAL_TOOLS.get(prog)
    if real is None:
        sys.stderr.write("simmac: no real tool behind %s\n" % argv[0])
        return 127
    args = argv[1:]
    audit.record(argv[0], args)
    fault = faults.active(prog) if prog == "ntfs-3g" else None
    if fault:
        return faults.act(prog, fault)
    if prog == "ntfs-3g" and os.geteuid() == 0:
        target = mount_target(args)
        if target:
            dev, mp, volname = target
            image = os.path.realpath(dev)
            try:
                with StateFile().locked() as st:
                    st["user_mounts"][mp] = {"device": os.path.basename(dev), "image": image,
                                             "volname": volname or os.path.basename(mp)}
            except OSError:
                pass
    # The path it was called by stays its argv[0], so that ps shows the
    # daemon as the caller started it.
    os.execv(real, [argv[0]] + args)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
