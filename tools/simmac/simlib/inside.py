"""Entry point for the simulator's own operations inside the namespace (run
as root through nsenter by the harness): attach, detach, yank. Prints the
result as JSON; errors go to standard error with exit status 1.
"""
import json
import os
import sys
import traceback

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from simlib import disks  # noqa: E402


def main(argv):
    if len(argv) < 2:
        print("usage: inside.py attach DISK_JSON | detach DISK | yank DISK", file=sys.stderr)
        return 2
    op, args = argv[1], argv[2:]
    try:
        if op == "attach":
            result = disks.attach(json.loads(args[0]))
        elif op == "detach":
            result = disks.detach(args[0])
        elif op == "yank":
            result = disks.yank(args[0])
        else:
            print("inside.py: unknown operation %r" % op, file=sys.stderr)
            return 2
    except (ValueError, RuntimeError) as e:
        print("simmac %s: %s" % (op, e), file=sys.stderr)
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    print(json.dumps(result, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
