"""Entry point for the simulator's own operations inside the namespace (run as root through
nsenter by the harness): attach DISK_JSON, detach DISK, yank DISK. Prints the result as JSON;
errors go to standard error with exit status 1.
"""
import json
import os
import sys
import traceback

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from simlib import disks  # noqa: E402


def main(op, arg):
    try:
        result = disks.attach(json.loads(arg)) if op == "attach" else disks.take_away(arg, cleanly=op == "detach")
    except (ValueError, RuntimeError) as e:
        print("simmac %s: %s" % (op, e), file=sys.stderr)
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    print(json.dumps(result, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
