"""Soak: Drivelark in the simulated Mac through many cycles with two disks, as its users treat it.

Each cycle: attach both disks and let them be converted; write files of random size and content;
eject one from the menu, have the system mount it again and convert it from the menu; yank the
other while mounted, attach it again and detach it; eject and detach the first.

Afterwards: every file written before a clean eject reads back with its checksum; nothing of
Drivelark's is left running; the registry holds exactly the volumes still mounted (none); the log
holds no line a cycle did not cause; Drivelark's descriptors and resident memory are flat.

    python3 tests/e2e/soak.py [--cycles N] [--report FILE]     (as root; CTest runs 2 cycles)
"""
import argparse
import hashlib
import os
import random
import re
import sys
import time
import unittest

import e2e_support as e2e

A_UUID, B_UUID = "50AC0000-0000-4000-8000-00000000000A", "50AC0000-0000-4000-8000-00000000000B"
# Every line a cycle causes; anything else in the log is a fault.
EXPECTED = re.compile("|".join([
    r"Drivelark (v1\.4 已启动|已退出)$", r"免密通道", r"检测到(只读抢占|新插入|重新插入|启动时已连接)，自动处理$",
    r"开始读写挂载 Soak[AB]\(disk\d+s1\) → /Volumes/Soak[AB]$", r"读写挂载成功\(免密通道\): Soak[AB] -> /Volumes/Soak[AB]$",
    r"(已自动在访达中打开 |无法在访达中打开 |自动打开访达跳过：)/Volumes/Soak[AB]( 暂不可达)?$", r"已卸载 Soak[AB]\(disk\d+s1\)（用户操作）$", r"分区移除: uuid:\S+ Soak[AB]\(disk\d+s1\)$", r"清理僵尸挂载: /Volumes/SoakB（(设备 disk\d+s1 已不在|挂载不可访问)）$",
    r"僵尸挂载已清理: /Volumes/SoakB$", r"检测到外部卸载（用户推出）: /Volumes/SoakB，本次不再自动重挂$",
    r"保活: (已启动 caffeinate\(-i -m\) pid=\d+|待机（无读写挂载卷）|当前无活跃受管卷 \(managed=\d\)，已停止 caffeinate)$",
]))


class Soak(e2e.AppTestCase):
    cycles, report = 2, None

    def write_files(self, mount_point, tag):
        written = {}
        for n in range(random.randint(1, 4)):
            data = os.urandom(random.randint(0, 512 * 1024))
            name = "%s-%d.bin" % (tag, n)
            with open(self.mac.host_path(mount_point + "/" + name), "wb") as f:
                f.write(data)
            written[name] = hashlib.sha256(data).hexdigest()
        return written

    def check_files(self, mount_point, written):
        for name, digest in written.items():
            self.assertEqual(hashlib.sha256(self.mac.read_bytes(mount_point + "/" + name)).hexdigest(), digest, name)

    def take_away(self, part, uuid, how):
        """Yanks or detaches the disk of a partition and waits until Drivelark's pass has seen it go: a disk that
        comes back before that is, to Drivelark, one that never left."""
        gone = "分区移除: uuid:" + uuid
        removals = lambda: sum(1 for line in self.log() if line.startswith(gone + " "))
        before = removals()
        how(part["id"].rsplit("s", 1)[0])
        self.mac.wait_for(lambda: removals() > before, 30, gone)

    def drivelark_usage(self):
        pid = next(p for p, argv in self.mac.processes() if argv[0].endswith("/drivelark"))
        with open("/proc/%d/status" % pid) as f:
            rss = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
        return len(os.listdir("/proc/%d/fd" % pid)), rss

    def cycle(self, app, number):
        a, b = self.attach_ntfs("SoakA", uuid=A_UUID), self.attach_ntfs("SoakB", scheme="mbr", uuid=B_UUID)
        self.wait_mounted("/Volumes/SoakA")
        self.wait_mounted("/Volumes/SoakB")
        kept = self.write_files("/Volumes/SoakA", "c%d" % number)
        self.write_files("/Volumes/SoakB", "c%d" % number)

        app.choose("「SoakA」 ✓ 读写中")  # eject, then the system mounts it again and the user converts it
        self.wait_unmounted("/Volumes/SoakA")
        self.mac.run(["/usr/sbin/diskutil", "mount", a["id"]], check=True)
        app.choose("「SoakA」 当前只读")
        self.wait_mounted("/Volumes/SoakA")
        self.check_files("/Volumes/SoakA", kept)

        self.take_away(b, B_UUID, self.mac.yank)  # pulled while mounted: purged, then back
        self.wait_unmounted("/Volumes/SoakB")
        b = self.attach_ntfs("SoakB", scheme="mbr", uuid=B_UUID)
        self.wait_mounted("/Volumes/SoakB")
        self.take_away(b, B_UUID, self.mac.detach)
        app.choose("「SoakA」 ✓ 读写中")
        self.wait_unmounted("/Volumes/SoakA")
        self.take_away(a, A_UUID, self.mac.detach)
        self.mac.wait_for(lambda: self.registry() == ({}, {}), 30, "an empty registry")

    def test_soak(self):
        self.install_helper()
        app = self.launch()
        usage = []
        for number in range(self.cycles):
            started = time.monotonic()
            try:
                self.cycle(app, number)
            except AssertionError:
                print("cycle %d failed; the log's end:\n%s\nthe menu's end:\n%s" % (
                    number + 1, "\n".join(self.log_lines()[-40:]), app.output()[-1500:]), flush=True)
                raise
            usage.append((number + 1, *self.drivelark_usage(), time.monotonic() - started))
            print("cycle %d: %d descriptors, %d KiB resident, %.1f s" % usage[-1], flush=True)
        if self.report:
            with open(self.report, "w") as f:
                f.write("cycle,descriptors,rss_kib,seconds\n" + "".join("%d,%d,%d,%.1f\n" % u for u in usage))

        # The passes go on running the mount program and the disk utility for a moment each; what
        # was left running is still there after 15 s.
        self.mac.wait_for(lambda: not [argv for _, argv in self.mac.processes() if not argv[0].endswith("/drivelark")],
                          15, lambda: "nothing left running: %s" % self.mac.processes())
        unexpected = [line for line in self.log() if not EXPECTED.match(line)]
        self.assertEqual(unexpected, [], "log lines no cycle caused")
        settled = usage[min(2, len(usage) - 1)]
        self.assertLessEqual(usage[-1][1], settled[1], "descriptors grew")
        self.assertLess(usage[-1][2], settled[2] * 1.25 + 1024, "resident memory grew")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cycles", type=int, default=2)
    parser.add_argument("--report")
    options, rest = parser.parse_known_args()
    Soak.cycles, Soak.report = options.cycles, options.report
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
