"""Mount operations end to end in the simulated Mac, through Drivelark's own
MountManager (tests/mount_driver) and the real ntfs-3g and ntfsfix: both
privileged channels, disks that share a name, unsafe states, and the helper
tool refusing what is not its own (links in /Volumes, foreign file systems, a
device that passed to another disk), and taking away a mount whose ntfs-3g
stopped.
"""
import os
import plistlib
import re
import signal
import time

import e2e_support as e2e

HELPER = e2e.HELPER
# Every character that could break out of a command line; "/", "," and "\" end up as "_".
HOSTILE = "Bob's \"x\" \\ $(touch /tmp/owned); `caffeinate -w 1` a,b/c 资料"
HOSTILE_SAFE = "Bob's \"x\" _ $(touch _tmp_owned); `caffeinate -w 1` a_b_c 资料"
SCRIPT = ["-e", "on run argv", "-e", "do shell script (item 1 of argv) with administrator privileges", "-e", "end run"]


class MountOperations(e2e.SimMacTestCase):
    def helper(self, *arguments):
        return self.run_in(["/usr/bin/sudo", "-n", HELPER] + list(arguments))

    def identity(self, device):
        """The volume identity of what the device holds, as the application passes it."""
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", device]).stdout.encode())
        return "volume:" + info["VolumeUUID"]

    # --- the two channels ---------------------------------------------------------------
    def test_prompt_runs_the_bundled_helper_with_the_command_as_an_argument(self):
        part = self.attach_ntfs()
        self.assertTrue(self.drive("remount", part["id"], "Data")[0]["ok"])
        self.assertEqual(self.mac.prompt_count(), 1)
        self.assert_writable("/Volumes/Data")
        self.assertEqual(self.registry(), ({"/Volumes/Data": "Data"}, {"/Volumes/Data": part["id"]}))
        self.assertEqual(self.log()[-2:], ["开始读写挂载 Data(%s) → /Volumes/Data" % part["id"],
                                           "读写挂载成功: Data -> /Volumes/Data"])
        # No volume text is AppleScript source; the bundle's own helper and tools did the work.
        prompt = self.mac.audit("osascript")[-1]
        self.assertEqual(prompt["argv"][:6], SCRIPT)
        self.assertTrue(prompt["shell"].startswith("'%s/MacOS/drivelark-mount' 'mount'" % self.bundle), prompt)

        self.assertTrue(self.drive("unmount", "/Volumes/Data", "Data")[0]["ok"])
        self.assertNotIn("/Volumes/Data", self.mounts())
        self.assertEqual((self.registry(), self.log()[-1]), (({}, {}), "已卸载 Data（用户操作）"))
        r = self.run_in(["ntfscat", "/dev/" + part["id"], "hello.txt"], user="root")
        self.assertEqual(r.stdout, "hello from the Mac", r.stderr)

    def test_helper_needs_no_password_only_while_its_pinned_rule_matches(self):
        part = self.attach_ntfs()
        self.install_helper()
        rule = self.mac.read_text(e2e.RULE)
        self.assertRegex(rule, r"^alice ALL=\(root\) NOPASSWD: sha256:[0-9a-f]{64} %s\n$" % HELPER)
        self.assertTrue(self.drive("remount", part["id"], "Data")[0]["ok"])
        self.assertEqual(self.mac.prompt_count(), 0)
        self.assertEqual(self.log()[-1], "读写挂载成功(免密通道): Data -> /Volumes/Data")
        self.assertTrue(self.drive("unmount", "/Volumes/Data", "Data")[0]["ok"])

        # A helper that is not the one its rule names, or one without a rule, is no helper.
        self.run_in(["/bin/sh", "-c", "echo >> " + HELPER], user="root", check=True)
        self.assertNotEqual(self.helper("selftest").returncode, 0)
        self.mac.run(["/usr/sbin/diskutil", "mount", part["id"]], check=True)
        self.assertTrue(self.drive("remount", part["id"], "Data")[0]["ok"])
        self.assertEqual(self.mac.prompt_count(), 1)
        self.assertIn("免密通道不可用，改走管理员授权", self.log())
        self.assert_writable("/Volumes/Data")

    # --- places in /Volumes -----------------------------------------------------------------
    def test_disks_that_share_a_name_keep_their_own_places(self):
        self.mac.attach(scheme="mbr", partitions=[{"fs": "fat32", "name": "STICK"}])
        writer = self.mac.spawn(["/bin/sh", "-c", "exec 3>>/Volumes/STICK/log; while :; do echo x >&3; sleep 0.1; done"])
        self.addCleanup(writer.kill)
        stick = self.attach_ntfs("STICK")
        self.assertEqual(stick["mount_point"], "/Volumes/STICK 1")
        self.assertTrue(self.drive("remount", stick["id"], "STICK")[0]["ok"])  # through the prompt
        self.install_helper()
        others = [self.attach_ntfs(None) for _ in range(2)]
        for part in others:
            self.assertTrue(self.drive("remount", part["id"], "")[0]["ok"])

        places = ["/Volumes/STICK 1", "/Volumes/Untitled", "/Volumes/Untitled 1"]
        self.assertEqual(self.registry()[1], dict(zip(places, [p["id"] for p in [stick] + others])))
        for place in places:
            self.assert_writable(place)
        self.assertEqual(self.mounts()["/Volumes/STICK"], ("msdos", False))
        self.assertIsNone(writer.poll(), "the writer on the FAT stick lost its volume")
        size = os.path.getsize(self.mac.host_path("/Volumes/STICK/log"))
        self.mac.wait_for(lambda: os.path.getsize(self.mac.host_path("/Volumes/STICK/log")) > size, 10,
                          "the writer's next line on the FAT stick")

    # --- unsafe states and refused writes ------------------------------------------------------
    def check_unsafe_states_and_refused_writes(self):
        hibernated = self.attach_ntfs("Hibernated", state="hibernated")
        steps = self.drive("remount-repairing", hibernated["id"], "Hibernated")
        self.assertEqual([(s["step"], s["ok"]) for s in steps], [("remount", False), ("fix", False)], steps)
        self.assertIn("hibernat", steps[0]["out"])
        self.assertIn("Windows was hibernated", steps[1]["out"])
        # The log keeps ntfs-3g's lines, ended by "\n" or, through the prompt, by "\r".
        lines = re.sub(r"\r\n?", "\n", steps[0]["out"].strip())
        self.assertIn("\n", lines)
        self.assertTrue(any(message.endswith(lines) for message in self.log()), self.log())
        self.assertEqual(self.mac.audit("ntfsfix"), [], "ntfsfix ran on a hibernated Windows volume")
        # The disk stays readable, mounted where the system had it.
        self.assertEqual(self.mounts()["/Volumes/Hibernated"], ("ntfs", True))

        fast = self.attach_ntfs("Fast", state="faststart")
        steps = self.drive("remount-repairing", fast["id"], "Fast")
        self.assertEqual([(s["step"], s["ok"]) for s in steps], [("remount", False), ("fix", True), ("remount", True)],
                         steps)
        self.assertIn("unsafe state", steps[0]["out"])
        self.assert_writable("/Volumes/Fast")
        self.assertEqual(self.registry()[1], {"/Volumes/Fast": fast["id"]})

        refused = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Refused"}], raw_writes=False)
        runs = len(self.mac.audit("ntfs-3g"))
        steps = self.drive("remount", refused["partitions"][0]["id"], "Refused")
        self.assertFalse(steps[0]["ok"])
        self.assertIn("__WRITE_DENIED__", steps[0]["out"])
        self.assertEqual(len(self.mac.audit("ntfs-3g")), runs, "ntfs-3g ran although writes are refused")
        self.assertEqual(self.mounts()["/Volumes/Refused"], ("ntfs", True))

    def test_unsafe_states_and_refused_writes_through_the_prompt(self):
        self.check_unsafe_states_and_refused_writes()

    def test_unsafe_states_and_refused_writes_through_the_helper(self):
        self.install_helper()
        self.check_unsafe_states_and_refused_writes()
        self.assertEqual(self.mac.prompt_count(), 0)

    # --- the user's unmount and hostile names ------------------------------------------------------
    def test_busy_unmount_fails_and_keeps_the_registry(self):
        part = self.attach_ntfs()
        self.assertTrue(self.drive("remount", part["id"], "Data")[0]["ok"])
        holder = self.mac.spawn(["sleep", "600"], cwd="/Volumes/Data")
        self.mac.wait_for(lambda: len(self.mac.pids()) > 0, 10, "the process holding the volume")
        steps = self.drive("unmount", "/Volumes/Data", "Data")
        self.assertFalse(steps[0]["ok"])
        self.assertEqual(self.mounts().get("/Volumes/Data"), ("nfs", False))
        self.assertEqual(self.registry()[1], {"/Volumes/Data": part["id"]})
        self.assertIn("卸载失败 Data: " + re.sub(r"\r\n?", "\n", steps[0]["out"]).rstrip("\n"), self.log())
        holder_pid = next(pid for pid, argv in self.mac.processes() if argv == ["sleep", "600"])
        self.assertEqual(self.drive("holders", "/Volumes/Data")[0], {"step": "holders", "ok": True,
                                                                     "out": "%d sleep\n" % holder_pid})
        holder.terminate()
        holder.wait(10)
        self.assertTrue(self.drive("unmount", "/Volumes/Data", "Data")[0]["ok"])
        self.assertEqual(self.registry(), ({}, {}))

    def check_hostile_name(self):
        part = self.attach_ntfs(HOSTILE)
        self.assertTrue(self.drive("remount", part["id"], HOSTILE)[0]["ok"])
        mount_point = "/Volumes/" + HOSTILE_SAFE
        self.assert_writable(mount_point)
        self.assertEqual(self.registry(), ({mount_point: HOSTILE_SAFE}, {mount_point: part["id"]}))
        self.assertEqual(self.mac.audit("caffeinate"), [])
        for folder in ("/", "/Users/alice", "/private/var/root", "/root", "/tmp", mount_point):
            for name in ("owned", "_tmp_owned"):
                self.assertFalse(os.path.exists(self.mac.host_path(folder.rstrip("/") + "/" + name)), folder)

    def test_hostile_names_through_the_prompt(self):
        self.check_hostile_name()

    def test_hostile_names_through_the_helper(self):
        self.install_helper()
        self.check_hostile_name()
        self.assertEqual(self.mac.prompt_count(), 0)

    def test_helper_refuses_hostile_arguments_and_changes_nothing(self):
        self.install_helper()
        disk = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Data"},
                                                         {"fs": "fat32", "name": "STICK"}])
        ntfs, fat = disk["partitions"][0]["id"], disk["partitions"][1]["id"]
        data, stick = self.identity(ntfs), self.identity(fat)
        before_mounts = self.mounts()
        fat_image = self.run_in(["sha256sum", "/dev/" + fat], user="root").stdout
        # What only the real tool in the real /Volumes shows; the argument checks have unit tests.
        refusals = [
            ["mount", ntfs, "/Volumes/../etc", "Data", data], ["mount", ntfs, "/Volumes/STICK", "STICK", data],
            ["mount", ntfs, "/Volumes/Macintosh HD", "Macintosh HD", data],  # a link to /
            ["mount", fat, "/Volumes/STICK", "STICK", stick], ["fix", fat, stick], ["unmount", "/"],
            ["mount", "disk99s1", "/Volumes/Nowhere", "Nowhere", data], ["keepalive", "../../etc/passwd"], [],
        ]
        for arguments in refusals:
            with self.subTest(arguments=arguments):
                r = self.helper(*arguments)
                self.assertNotIn(r.returncode, (0, 126, 127), r.stdout)
                self.assertIn("drivelark-mount: ", r.stdout)
        self.assertEqual(self.mounts(), before_mounts)
        self.assertEqual(self.run_in(["sha256sum", "/dev/" + fat], user="root").stdout, fat_image)
        self.assertEqual(self.mac.audit("ntfs-3g"), [])

        # Once ntfs-3g serves the device, neither a repair nor a second mount touches it, even while
        # another program's arguments hold bytes that are not UTF-8.
        self.assertEqual(self.helper("mount", ntfs, "/Volumes/Data", "Data", data).returncode, 0)
        odd = self.mac.spawn(["/bin/sh", "-c", 'exec -a "$(printf "sleep \\351")" sleep 600'])
        self.addCleanup(odd.kill)
        self.mac.wait_for(lambda: "sleep \udce9" in self.run_in(["/bin/ps", "-A", "-ww", "-o", "args="]).stdout, 10,
                          "ps showing the odd process")
        for arguments in (["fix", ntfs, data], ["mount", ntfs, "/Volumes/Other", "Other", data]):
            r = self.helper(*arguments)
            self.assertEqual(r.returncode, 2, r.stdout)
            self.assertIn("is in use by ntfs-3g", r.stdout)
        self.assertEqual((len(self.mac.audit("ntfs-3g")), self.mac.audit("ntfsfix")), (1, []))
        self.assert_writable("/Volumes/Data")

    def test_helper_leaves_a_device_alone_once_another_disk_has_its_name(self):
        self.install_helper()
        first = self.attach_ntfs()
        decided = self.identity(first["id"])
        self.mac.detach(first["id"].rsplit("s", 1)[0])
        second = self.attach_ntfs()
        self.assertEqual(second["id"], first["id"])
        before = self.mounts()
        for arguments in (["mount", second["id"], "/Volumes/Data", "Data", decided], ["fix", second["id"], decided]):
            r = self.helper(*arguments)
            self.assertEqual((r.returncode, "__VOLUME_CHANGED__" in r.stdout.splitlines()), (3, True), r.stdout)
        self.assertEqual(self.mounts(), before)
        self.assertEqual(self.mac.audit("ntfs-3g") + self.mac.audit("ntfsfix"), [])
        r = self.helper("mount", second["id"], "/Volumes/Data", "Data", self.identity(second["id"]))
        self.assertEqual(r.returncode, 0, r.stdout)

    def test_helper_unmounts_only_ntfs3gs_own_mounts(self):
        self.install_helper()
        self.mac.attach(scheme="mbr", partitions=[{"fs": "fat32", "name": "STICK"}])
        self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])
        self.attach_ntfs()
        writer = self.mac.spawn(["/bin/sh", "-c", "exec 3>>/Volumes/STICK/log; while :; do echo x >&3; sleep 0.1; done"])
        self.addCleanup(writer.kill)
        # A share that root mounted, and a FUSE mount that another program serves.
        self.sh("mkdir /Volumes/Share /Volumes/Foreign && mount -t tmpfs server:/export /Volumes/Share && "
                "mkfs.fat -C /tmp/foreign.img 1024 >/dev/null && fusefat -o ro /tmp/foreign.img /Volumes/Foreign",
                user="root", check=True)
        before = self.mounts()
        self.assertEqual((before["/Volumes/Share"], before["/Volumes/Foreign"]), (("nfs", False), ("nfs", True)))
        for mount_point in ("/Volumes/STICK", "/Volumes/CARD", "/Volumes/Data", "/Volumes/Share", "/Volumes/Foreign"):
            r = self.helper("unmount", mount_point)
            self.assertEqual(r.returncode, 2, mount_point + ": " + r.stdout)
        self.assertEqual(self.mounts(), before)
        size = os.path.getsize(self.mac.host_path("/Volumes/STICK/log"))
        self.mac.wait_for(lambda: os.path.getsize(self.mac.host_path("/Volumes/STICK/log")) > size, 10,
                          "the writer's next line on the FAT stick")

    def test_helper_takes_away_a_mount_whose_ntfs3g_stopped_and_frees_its_device(self):
        self.install_helper()
        part = self.attach_ntfs()
        data = self.identity(part["id"])
        self.assertEqual(self.helper("mount", part["id"], "/Volumes/Data", "Data", data).returncode, 0)
        [server] = [pid for pid, argv in self.mac.processes() if argv[-1].startswith("volname=Data,")]
        os.kill(server, signal.SIGSTOP)  # its mount now blocks whoever looks into it
        started = time.monotonic()
        r = self.helper("unmount", "/Volumes/Data")
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertLess(time.monotonic() - started, 10)
        self.assertNotIn("/Volumes/Data", self.mounts())
        self.mac.wait_for(lambda: server not in self.mac.pids(), 10, "the stopped ntfs-3g to end")
        self.assertEqual(self.helper("mount", part["id"], "/Volumes/Data", "Data", data).returncode, 0)
        self.assert_writable("/Volumes/Data")


if __name__ == "__main__":
    e2e.main()
