#!/usr/bin/python3
"""Drivelark's speed in the simulated Mac, in one run, written to a results file:

  - attach to read-write: from the moment an attached disk is mounted read-only by the system to
    its ntfs-3g mount appearing in the mount table, median and worst of N disks (default 50),
    beside the time the helper's remount command itself takes (median of 10);
  - the main thread's longest stall while that goes on: the terminal menu is asked for every
    0.2 s and the wait for its last row timed (the menu is drawn on the main thread);
  - programs started by the first pass that sees a partition, and by each idle pass;
  - with one volume mounted and nothing else happening for M minutes (default 10): Drivelark's
    CPU time, its resident memory and the programs it started per minute;
  - with a second disk attached, the first volume's ntfs-3g stopped (SIGSTOP): the slowest menu
    meanwhile, the time until the volume is read-write again through a new ntfs-3g, whether the
    second disk's device pulses go on, and how long quitting then takes.

    python3 bench/measure_in_simmac.py [--attaches 50] [--idle-minutes 10] [--results FILE]

As root, with a built tree (DRIVELARK_BUILD_DIR, else build/).
"""
import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import threading
import time
import uuid

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tools", "simmac"))
from harness import SimMac  # noqa: E402

BUILD = os.path.abspath(os.environ.get("DRIVELARK_BUILD_DIR") or os.path.join(REPO, "build"))
BUNDLE = os.path.join(BUILD, "Drivelark.app", "Contents")
HELPER = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount"
LOG = SimMac.HOME + "/Library/Logs/Drivelark.log"
SETTLE = 1.0  # the delay after the system mounts a volume before the pass that converts it


class Drivelark:
    """The application inside, its standard output read as it comes, with the time of each read."""

    def __init__(self, mac):
        self.process = subprocess.Popen(mac.command([BUNDLE + "/MacOS/drivelark"]), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.output, self.changed = b"", threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for chunk in iter(lambda: os.read(self.process.stdout.fileno(), 65536), b""):
            with self.changed:
                self.output += chunk
                self.changed.notify_all()

    def wait_for(self, text, count=1, timeout=30):
        with self.changed:
            if not self.changed.wait_for(lambda: self.output.count(text.encode()) >= count, timeout):
                raise TimeoutError("%r from Drivelark" % text)

    def menu_latency(self):
        """Seconds from asking for the menu to its last row (a menu printed again because its rows
        changed while it was open, "菜单已更新:", is not the answer)."""
        header, last = "菜单:\n".encode(), "退出\n".encode()
        with self.changed:
            drawn = self.output.count(header)
        started = time.monotonic()
        self.process.stdin.write(b"m\n")
        self.process.stdin.flush()
        with self.changed:
            answered = lambda: self.output.count(header) > drawn and self.output.find(last, self.output.rfind(header)) >= 0
            if not self.changed.wait_for(answered, 30):
                raise TimeoutError("the menu from Drivelark")
        return time.monotonic() - started

    def stop(self):
        self.process.terminate()
        self.process.wait(20)


def mount_options(pid, mount_point):
    """The options of each mount at mount_point in Drivelark's mount namespace, read from /proc so
    that polling starts no program."""
    escaped = mount_point.replace(" ", "\\040")
    with open("/proc/%d/mountinfo" % pid) as table:
        return [fields[5] for line in table for fields in [line.split()] if fields[4] == escaped and " - fuse" in line]


def mounted_read_write(pid, mount_point):
    """Whether a read-write FUSE mount is at mount_point (the system's read-only mount is one too)."""
    return any(options.startswith("rw") for options in mount_options(pid, mount_point))


def until(condition, timeout, what, mac):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError("%s; the log's end:\n%s" % (what, "\n".join(mac.read_text(LOG, "").splitlines()[-20:])))
        time.sleep(0.005)


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_kib(pid):
    status = open("/proc/%d/status" % pid).read()
    return tuple(int(re.search(key + r":\s+(\d+)", status).group(1)) for key in ("VmRSS", "VmHWM"))


def program_counts(entries):
    counts = {}
    for entry in entries:
        name = os.path.basename(entry["prog"]) + " " + " ".join(entry["argv"][:1])
        counts[name] = counts.get(name, 0) + 1
    return counts


def measure(attaches, idle_minutes):
    figures = {}
    with SimMac(binds=[BUILD]) as mac:
        mac.run(["/bin/bash", BUNDLE + "/Resources/install_helper.sh", BUNDLE + "/MacOS", BUNDLE + "/Resources"],
                user="root", check=True)
        app = Drivelark(mac)
        try:
            app.wait_for("状态栏: 无读写卷\n")
            pid = next(p for p, argv in mac.processes() if argv[0].endswith("/drivelark"))

            stalls, probing = [], threading.Event()
            probing.set()

            def probe():
                while probing.is_set() and app.process.poll() is None:
                    stalls.append(app.menu_latency())
                    time.sleep(0.2)
            prober = threading.Thread(target=probe, daemon=True)
            prober.start()

            latencies, first_pass_programs = [], []
            cpu_before_attaches = cpu_seconds(pid)
            for run in range(attaches):
                volume_uuid = str(uuid.uuid4()).upper()
                audited = len(mac.audit())
                disk = mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Speed", "uuid": volume_uuid}])
                attached = time.monotonic()
                until(lambda: mounted_read_write(pid, "/Volumes/Speed"), 30, "read-write mount %d" % run, mac)
                latencies.append(time.monotonic() - attached)
                # The engine asks by device; the menu, by mount point.
                first_pass_programs.append(sum(1 for e in mac.audit()[audited:] if e["argv"][:2] == ["info", "-plist"]
                                               and not e["argv"][2].startswith("/")))
                if run < attaches - 1:
                    mac.detach(disk["id"])
                    until(lambda: ("分区移除: uuid:" + volume_uuid) in mac.read_text(LOG, ""), 30, "the removal", mac)
                    # The detached disk's dead mount purged, as before a user plugs the next disk in.
                    until(lambda: not mount_options(pid, "/Volumes/Speed"), 30, "the purge", mac)
            probing.clear()
            prober.join()
            figures["own cpu per menu or pass"] = (cpu_seconds(pid) - cpu_before_attaches) / (
                len(stalls) + sum(1 for e in mac.audit() if e["argv"] == ["list", "-plist"]))
            figures["latencies"], figures["stalls"] = latencies, stalls
            figures["info lookups per new partition"] = statistics.mean(first_pass_programs)

            # The remount command alone: the system's mount given back, then the helper run as Drivelark runs it.
            device = disk["partitions"][0]["id"]
            remounts = []
            for _ in range(10):
                mac.run(["/usr/sbin/diskutil", "unmount", "/Volumes/Speed"], check=True)
                mac.run(["/usr/sbin/diskutil", "mount", device], check=True)
                started = time.monotonic()
                mac.run(["/usr/bin/sudo", "-n", HELPER, "mount", device, "/Volumes/Speed", "Speed", "volume:" + volume_uuid],
                        check=True)
                remounts.append(time.monotonic() - started)
            figures["remounts"] = remounts

            time.sleep(10)  # the passes after the last remount
            audited, cpu, started = len(mac.audit()), cpu_seconds(pid), time.monotonic()
            time.sleep(idle_minutes * 60)  # the idle window itself: nothing is awaited
            elapsed = time.monotonic() - started
            figures["idle cpu"] = (cpu_seconds(pid) - cpu) / elapsed
            figures["idle programs"] = program_counts(mac.audit()[audited:])
            figures["idle minutes"] = elapsed / 60
            figures["memory"] = memory_kib(pid)
            figures.update(stopped_ntfs3g(mac, app, pid, device))
        finally:
            if app.process.poll() is None:
                app.stop()
    return figures


def ntfs3g_of(mac, device):
    return next((p for p, argv in mac.processes() if os.path.basename(argv[0]) == "ntfs-3g" and "/dev/" + device in argv
                 and "ro,no_detach" not in argv), None)


def stopped_ntfs3g(mac, app, pid, device):
    """The Speed volume's ntfs-3g stopped while a second disk is mounted; then Drivelark quit."""
    other = mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Other"}])["partitions"][0]["id"]
    until(lambda: mounted_read_write(pid, "/Volumes/Other"), 30, "the second disk read-write", mac)
    stopped = ntfs3g_of(mac, device)
    pulses = lambda: sum(1 for e in mac.audit("sudo") if e["argv"][2:] == ["keepalive", other])
    os.kill(stopped, signal.SIGSTOP)
    started, pulsed, menus = time.monotonic(), pulses(), []
    try:
        while not (ntfs3g_of(mac, device) not in (None, stopped) and mounted_read_write(pid, "/Volumes/Speed")):
            if time.monotonic() - started > 60:
                raise TimeoutError("the stopped volume mounted again")
            menus.append(app.menu_latency())
            time.sleep(0.2)
        remounted = time.monotonic() - started
    finally:
        if os.path.exists("/proc/%d" % stopped):
            os.kill(stopped, signal.SIGKILL)
    quitting = time.monotonic()
    app.process.terminate()
    app.process.wait(20)
    return {"stopped menus": menus, "stopped to read-write": remounted, "other pulses": pulses() - pulsed,
            "quit": time.monotonic() - quitting}


def report(figures, attaches):
    latencies, remounts, stalls = figures["latencies"], figures["remounts"], figures["stalls"]
    minutes = figures["idle minutes"]
    passes = figures["idle programs"].get("diskutil list", 0)
    lines = [
        "# Drivelark in the simulated Mac: measured figures",
        "",
        "Measured %s by `bench/measure_in_simmac.py` on %d CPUs." % (time.strftime("%Y-%m-%d"), os.cpu_count()),
        "",
        "| Figure | Value |",
        "|---|---|",
        "| Attach to read-write, median of %d | %.2f s |" % (attaches, statistics.median(latencies)),
        "| Attach to read-write, worst of %d | %.2f s |" % (attaches, max(latencies)),
        "| The helper's remount command alone, median of 10 | %.2f s |" % statistics.median(remounts),
        "| Drivelark's own share of the median (less settle delay and remount) | %.2f s |"
        % (statistics.median(latencies) - SETTLE - statistics.median(remounts)),
        "| Main thread's longest stall (menu drawn on request), of %d requests | %.0f ms |"
        % (len(stalls), max(stalls) * 1000),
        "| Main thread, 99th percentile of those requests | %.0f ms |"
        % (sorted(stalls)[int(len(stalls) * 0.99) - 1] * 1000),
        "| Drivelark's own CPU time per menu drawn or pass, while attaching (the rest of a stall is "
        "waiting for programs) | %.1f ms |" % (figures["own cpu per menu or pass"] * 1000),
        "| `diskutil info` runs by device per newly attached partition (the application's check before it asks the helper, the helper's first and last looks) "
        "| %.2f |"
        % figures["info lookups per new partition"],
        "| Idle CPU over %.1f min, one volume mounted | %.3f %% of one core |" % (minutes, figures["idle cpu"] * 100),
        "| Resident memory at the end / peak | %.1f / %.1f MiB |" % tuple(k / 1024 for k in figures["memory"]),
        "| Programs started per idle minute | %.1f |" % (sum(figures["idle programs"].values()) / minutes),
        "| Programs per idle pass | %.2f |" % (sum(figures["idle programs"].values()) / max(passes, 1)),
        "| Stopped ntfs-3g: slowest of %d menus meanwhile | %.0f ms |"
        % (len(figures["stopped menus"]), max(figures["stopped menus"]) * 1000),
        "| Stopped ntfs-3g: until read-write again through a new ntfs-3g | %.1f s |" % figures["stopped to read-write"],
        "| Stopped ntfs-3g: the other disk's device pulses meanwhile | %d |" % figures["other pulses"],
        "| Quitting after that | %.2f s |" % figures["quit"],
        "",
        "Programs started while idle, by program and first argument:",
        "",
    ] + ["- `%s`: %d" % item for item in sorted(figures["idle programs"].items())]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--attaches", type=int, default=50)
    parser.add_argument("--idle-minutes", type=float, default=10)
    parser.add_argument("--results", default=os.path.join(REPO, "bench", "results.md"))
    options = parser.parse_args()
    text = report(measure(options.attaches, options.idle_minutes), options.attaches)
    with open(options.results, "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
