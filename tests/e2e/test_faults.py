"""Drivelark in a simulated Mac whose programs, files and disks misbehave. Whatever happens, the
menu keeps answering, the registry is not lost, and no volume is read-only while the menu says it
is read-write."""
import os
import pathlib
import signal

import e2e_support as e2e
from e2e_support import RO, RW

# Every character that could break out of a command line; "/", "," and "\" end up as "_".
HOSTILE = "Bob's \"x\" \\ $(touch /tmp/owned); `caffeinate -w 1` a,b/c 资料"
HOSTILE_SAFE = "Bob's \"x\" _ $(touch _tmp_owned); `caffeinate -w 1` a_b_c 资料"


class Faults(e2e.AppTestCase):
    def assert_menu_matches_mounts(self, app):
        """As many volumes as are mounted read-write the menu calls read-write, and as many as the
        system holds read-only it calls read-only, once it has read the disks again."""
        def matches():
            rows = list(app.menu().values())
            kinds = [kind for mount_point, kind in self.mounts().items() if mount_point.startswith("/Volumes/")]
            said = [sum(1 for row in rows if words in row) for words in ("✓ 读写中", "只读")]
            return said == [kinds.count(RW), kinds.count(RO)]
        self.mac.wait_for(matches, 10, "a menu that matches the mounts %s" % self.mounts(), interval=0.3)

    def test_tools_that_fail_hang_or_print_garbage_change_nothing(self):
        self.install_helper()
        self.attach_ntfs()
        self.attach_ntfs("Windows", state="hibernated")  # stays read-only: the menu asks the disk utility about it
        card = self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])["partitions"][0]
        self.mac.set_fault("diskutil", "fail", verbs=["info"], devices=[card["id"]])  # it cannot be described
        app = self.launch()
        self.wait_mounted("/Volumes/Data")  # the card holds up nothing else
        app.wait_for_log("「Windows」(disk5s1)上的 Windows 处于休眠状态，写入会让 Windows 恢复时丢失数据，保持只读")
        app.choose("「Windows」 只读（Windows 未完全关机）")
        app.answer("只能只读", "仍然重试")
        app.answer("只能只读", "好")  # still hibernated: nothing else is offered
        self.wait_passes(2)
        self.assertEqual((self.mounts()["/Volumes/Windows"], self.mounts()[card["mount_point"]]), (RO, ("exfat", False)))
        self.assertEqual(len([line for line in self.log() if line.endswith("，自动处理")]), 2)  # Data's, Windows's
        self.assertEqual(self.helper_runs("fix"), [])
        self.mac.set_fault("diskutil", "off")
        self.wait_passes(2)  # described now, and remembered as not NTFS
        infos = lambda: [e for e in self.mac.audit("diskutil") if e["argv"][:3] == ["info", "-plist", card["id"]]]
        described = len(infos())
        self.wait_passes(2)
        self.assertEqual(len(infos()), described)
        self.assertFalse([line for line in self.log() if line.startswith("读不到磁盘列表")])
        # (program, fault, verbs). A hung program is stopped after 5 s, off the main thread: the menu
        # answers at once from what was read last, whatever the programs do.
        for program, mode, verbs in (("diskutil", "fail", ["list"]), ("diskutil", "hang", ["list"]),
                                     ("diskutil", "hang", ["info"]), ("diskutil", "garbage", ["list", "info"]),
                                     ("mount", "fail", None), ("mount", "hang", None), ("mount", "garbage", None)):
            self.mac.set_fault(program, mode, verbs=verbs)
            self.wait_passes(1)
            app.menu(within=1.0)
            self.mac.set_fault(program, "off")
            self.assertEqual((self.mounts()["/Volumes/Data"], self.mounts()["/Volumes/Windows"]), (RW, RO),
                             (program, mode))
        app.wait_for_log("磁盘列表与挂载表已恢复读取")
        log = self.log()
        self.assertFalse([line for line in log if line.startswith(("分区移除", "清理僵尸", "开始读写挂载 Data(disk4s1) → /Volumes/Data 1"))], log)
        self.assertEqual(self.registry()[1], {"/Volumes/Data": "disk4s1"})
        self.assert_menu_matches_mounts(app)

    def test_a_volume_whose_ntfs3g_stops_answering_is_purged_and_mounted_again(self):
        self.install_helper()
        dead, live = self.attach_ntfs("Dead"), self.attach_ntfs("Live")
        app = self.launch()
        for mount_point in ("/Volumes/Dead", "/Volumes/Live"):
            self.wait_mounted(mount_point)
        stopped = self.ntfs3g_pid(dead["id"])
        os.kill(stopped, signal.SIGSTOP)
        self.addCleanup(lambda: os.path.exists("/proc/%d" % stopped) and os.kill(stopped, signal.SIGKILL))
        pulses = lambda: self.helper_runs("keepalive").count(["keepalive", live["id"]])
        pulsed = pulses()

        def mounted_again():  # the menu answers within a second all along
            app.menu(within=1.0)
            pid = self.ntfs3g_pid(dead["id"])
            return pid != stopped and self.mounts().get("/Volumes/Dead") == RW
        self.mac.wait_for(mounted_again, 30, "/Volumes/Dead mounted again by a new ntfs-3g", interval=0.5)
        app.wait_for_log("清理僵尸挂载: /Volumes/Dead（挂载不可访问）")
        self.mac.wait_for(lambda: not os.path.exists("/proc/%d" % stopped), 10, "the stopped ntfs-3g ended")
        self.mac.wait_for(lambda: pulses() > pulsed + 1, 15, "Live's pulses going on")
        self.assert_writable("/Volumes/Dead")
        app.process.terminate()
        app.process.wait(2)  # quits at once

    def test_without_sudo_disks_of_every_layout_with_shared_or_hostile_names_ask_for_the_password(self):
        """The administrator prompt runs the bundle's own helper with the command as an argument of
        the script, never as AppleScript source; its report of a failure is read back into the
        helper's own lines, so that its markers count as through sudo. /Volumes has leftovers."""
        self.run_in(["rm", "/usr/bin/sudo"], user="root", check=True)
        self.sh("mkdir /Volumes/Same && touch /Volumes/.hidden && ln -s /tmp /Volumes/Link", user="root", check=True)
        self.mac.set_fstype_shown(True)  # as some listings have it; the other scenarios go without
        card = self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])  # type Windows_NTFS
        parts = [self.attach_ntfs(name) for name in (HOSTILE, "Same", "Same", "Same", "Link", "-o ro",
                                                            "$(touch /tmp/owned)")]
        parts += [self.attach_ntfs(name, scheme, **keys) for scheme, name, keys in (
            ("none", "Whole", {}), ("mbr", "a/b", {"uuid": None}), ("gpt", "back\\slash", {}), ("gpt", "资料盘", {}))]
        fast = self.attach_ntfs("Fast", state="faststart")
        self.attach_ntfs("Sleeping", state="hibernated")
        self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Locked"}], raw_writes=False)
        app = self.launch()
        self.mac.wait_for(lambda: len(self.registry()[1]) == len(parts) + 1, 120, "all converted")
        places = self.registry()[1]
        self.assertEqual(sorted(places.values()), sorted(p["id"] for p in parts + [fast]))
        self.assertEqual(places["/Volumes/" + HOSTILE_SAFE], parts[0]["id"])
        for place in places:
            self.assertEqual(os.path.dirname(place), "/Volumes", place)
            self.assert_writable(place)
        app.wait_for_log("写权限被系统拦截，需用户授予完全磁盘访问权限")
        app.wait_for_log("「Sleeping」(")
        self.assertIn("免密通道不可用，改走管理员授权", self.log())
        prompt = self.mac.audit("osascript")[-1]  # (osascript itself takes no other script)
        self.assertTrue(prompt["shell"].startswith("'%s/MacOS/drivelark-mount' '" % e2e.BUNDLE), prompt)
        self.assertFalse([e for e in self.mac.audit("caffeinate") if e["argv"][:2] == ["-w", "1"]])
        for folder in ("/", "/Users/alice", "/private/var/root", "/root", "/tmp"):
            for name in ("owned", "_tmp_owned"):
                self.assertFalse(os.path.exists(self.mac.host_path(folder.rstrip("/") + "/" + name)), folder)
        fixes = self.helper_runs("fix")  # the fast-started volume's, not the hibernated one's
        self.assertEqual((len(fixes), " 'fix' '%s' " % fast["id"] in fixes[0]), (1, True), fixes)
        self.assertEqual(self.mounts()[card["partitions"][0]["mount_point"]], ("exfat", False))
        self.assertEqual(os.readlink(self.mac.host_path("/Volumes/Link")), "/tmp")
        self.assertTrue(os.path.isfile(self.mac.host_path("/Volumes/.hidden")))
        self.assert_menu_matches_mounts(app)

    def test_a_helper_killed_mid_mount_leaves_the_disk_mounted_read_only(self):
        self.install_helper()
        part = self.attach_ntfs()
        raw = self.mac.host_path("/dev/r" + part["id"])  # a raw device that never answers: the helper waits on
        os.unlink(raw)  # it once the system's mount is gone
        os.mkfifo(raw)
        app = self.launch()

        def stuck():
            helper = [pid for pid, argv in self.mac.processes() if argv[:2] == [e2e.HELPER, "mount"]]
            return helper and pathlib.Path("/proc/%d/wchan" % helper[0]).read_text() == "wait_for_partner" and helper[0]
        helper = self.mac.wait_for(stuck, 30, "the helper waiting on the raw device")
        self.assertNotIn("/Volumes/Data", self.mounts(), "the system's mount should be gone by now")
        os.kill(helper, signal.SIGKILL)
        app.wait_for_log("已恢复系统只读挂载: Data(%s)" % part["id"])
        # At "/Volumes/Data 1", as the system numbers a name whose folder the helper left behind.
        self.wait_mounted("/Volumes/Data 1", RO, timeout=10)
        self.assert_menu_matches_mounts(app)

    def test_damaged_preferences_a_full_disk_and_a_removed_log_folder(self):
        damaged = b"<?xml version=\"1.0\"?><plist><dict><key>managedDevs</key><dict><key>/Volumes/A"
        self.mac.write_file(e2e.PREFERENCES, damaged)
        self.install_helper()
        data = self.attach_ntfs()
        app = self.launch()
        self.wait_mounted("/Volumes/Data")
        self.mac.wait_for(lambda: self.registry()[1] == {"/Volumes/Data": data["id"]}, 10, "the registry")
        self.assertEqual(self.mac.read_bytes(e2e.PREFERENCES + ".damaged"), damaged)

        # The preferences folder fills up: the registry lives on in memory and reaches the file later.
        folder = os.path.dirname(e2e.PREFERENCES)
        self.run_in(["/bin/sh", "-c", 'cp "$0/com.drivelark.Drivelark.plist" /tmp/kept && '
                     'mount -t tmpfs -o size=16k,uid=$(id -u alice),gid=$(id -g alice) full "$0" && '
                     'cp /tmp/kept "$0/com.drivelark.Drivelark.plist" && '
                     '(dd if=/dev/zero of="$0/filler" bs=1k 2>/dev/null; true)', folder], user="root", check=True)
        kept = self.mac.read_bytes(e2e.PREFERENCES)
        more = self.attach_ntfs("More")
        self.wait_mounted("/Volumes/More")
        self.wait_passes(2)
        self.assertEqual(self.mac.read_bytes(e2e.PREFERENCES), kept)
        self.assert_menu_matches_mounts(app)

        self.run_in(["/bin/sh", "-c", 'rm -f "$0/filler" && rm -rf "$1"', folder, os.path.dirname(e2e.LOG)],
                    user="root", check=True)
        app.choose("「Data」 ✓ 读写中")
        app.wait_for_log("已卸载 Data(%s)（用户操作）" % data["id"])  # written into a log folder made again
        self.mac.wait_for(lambda: self.registry()[1] == {"/Volumes/More": more["id"]}, 10, "the registry written")


if __name__ == "__main__":
    e2e.main()
