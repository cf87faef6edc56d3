#!/usr/bin/python3
"""The cost of Drivelark's mount operations in the simulated Mac, for comparing two builds (say,
before and after a change), each run in the simulated Mac of this checkout:

  - the programs one discovery runs (bench/discovery_probe, or tests/discovery_probe in older
    trees: the partition listing, the mount table and the menu's volumes), on a Mac with one NTFS disk mounted read-only by the system
    and one left unmounted, with the listing showing each partition's file system and without;
  - the time of one read-write remount through each channel, the helper's command run as the
    application runs it: the installed helper through sudo without a password, and the bundle's own
    copy behind the administrator prompt (the volume's identity as its last argument where the
    build's helper takes one).

    python3 bench/measure_mount_operations.py [--build DIR] [--runs 5]

As root. DIR defaults to $DRIVELARK_BUILD_DIR, else build/.
"""
import argparse
import json
import os
import statistics
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tools", "simmac"))
from harness import SimMac  # noqa: E402

HELPER = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount"
SCRIPT = ["-e", "on run argv", "-e", "do shell script (item 1 of argv) with administrator privileges", "-e", "end run"]


def discovery_programs(build, fstype_shown):
    with SimMac(binds=[build]) as mac:
        mac.set_fstype_shown(fstype_shown)
        mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Mounted"}])
        mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Unmounted", "mount": False}])
        before = len(mac.audit())
        probe = next(p for p in (os.path.join(build, "bench", "discovery_probe"),
                                 os.path.join(build, "tests", "discovery_probe")) if os.path.exists(p))
        r = mac.run([probe], check=True)
        found = len(json.loads(r.stdout)["partitions"])
        counts = {}
        for entry in mac.audit()[before:]:
            name = " ".join([os.path.basename(entry["prog"])] + entry["argv"][:1])
            counts[name] = counts.get(name, 0) + 1
        return found, counts


def remount_seconds(build, channel, runs):
    bundle = os.path.join(build, "Drivelark.app", "Contents")
    takes_identity = b"<volume-identity>" in open(os.path.join(bundle, "MacOS", "drivelark-mount"), "rb").read()
    times = []
    with SimMac(binds=[build]) as mac:
        if channel == "helper":
            mac.run(["/bin/bash", bundle + "/Resources/install_helper.sh", bundle + "/MacOS", bundle + "/Resources"],
                    user="root", check=True)
        for run in range(runs):
            part = mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Speed%d" % run}])["partitions"][0]
            arguments = ["mount", part["id"], "/Volumes/Speed%d" % run, "Speed%d" % run]
            arguments += ["volume:" + part["uuid"]] if takes_identity else []
            if channel == "helper":
                command = ["/usr/bin/sudo", "-n", HELPER] + arguments
            else:
                shell = " ".join("'%s'" % word for word in [bundle + "/MacOS/drivelark-mount"] + arguments)
                command = ["/usr/bin/osascript"] + SCRIPT + [shell]
            started = time.monotonic()
            r = mac.run(command, timeout=120)
            times.append(time.monotonic() - started)
            if r.returncode != 0:
                raise RuntimeError("%s remount failed: %s %s" % (channel, r.stdout, r.stderr))
        return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.environ.get("DRIVELARK_BUILD_DIR") or os.path.join(REPO, "build"))
    parser.add_argument("--runs", type=int, default=5)
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    print("| %s | Value |\n|---|---|" % build)
    for shown in (True, False):
        found, counts = discovery_programs(build, shown)
        print("| One discovery, listing %s the file system: NTFS partitions found | %d |"
              % ("with" if shown else "without", found))
        print("| ... programs run | %d (%s) |" % (sum(counts.values()),
                                                 ", ".join("%s: %d" % item for item in sorted(counts.items()))))
    for channel in ("helper", "prompt"):
        times = remount_seconds(build, channel, options.runs)
        print("| Remount through the %s, median / worst of %d | %.2f / %.2f s |"
              % (channel, options.runs, statistics.median(times), max(times)))


if __name__ == "__main__":
    main()
