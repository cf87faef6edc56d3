"""The helper tool end to end in the simulated Mac, run as the application runs it, through sudo,
with the real ntfs-3g and ntfsfix: only while its pinned sudo rule matches, and refusing what is not
its own (links in /Volumes, foreign file systems, a device that passed to another disk, a device
that ntfs-3g serves), and taking away a mount whose ntfs-3g stopped.
"""
import os
import plistlib
import signal
import time

import e2e_support as e2e

HELPER = e2e.HELPER


class MountOperations(e2e.SimMacTestCase):
    def helper(self, *arguments):
        return self.run_in(["/usr/bin/sudo", "-n", HELPER] + list(arguments))

    def identity(self, device):
        """The volume identity of what the device holds, as the application passes it."""
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", device]).stdout.encode())
        return "volume:" + info["VolumeUUID"]

    def test_helper_needs_no_password_only_while_its_pinned_rule_matches(self):
        self.install_helper()
        rule = self.mac.read_text(e2e.RULE)
        self.assertRegex(rule, r"^alice ALL=\(root\) NOPASSWD: sha256:[0-9a-f]{64} %s\n$" % HELPER)
        self.assertEqual(self.helper("selftest").returncode, 0)
        # A helper that is not the one its rule names, or one without a rule, is no helper.
        self.run_in(["/bin/sh", "-c", "echo >> " + HELPER], user="root", check=True)
        self.assertNotEqual(self.helper("selftest").returncode, 0)

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
