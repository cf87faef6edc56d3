"""The helper tool end to end in the simulated Mac, run as the application runs it, through sudo,
with the ntfs-3g and ntfsfix of its bundle: refusing what is not its own (links in /Volumes, foreign
file systems, a device that passed to another disk, a device that ntfs-3g serves). Its unmount of
other programs' mounts: test_ownership; of a mount whose ntfs-3g stopped: test_faults.
"""
import plistlib

import e2e_support as e2e

HELPER = e2e.HELPER


class MountOperations(e2e.SimMacTestCase):
    def helper(self, *arguments):
        return self.run_in(["/usr/bin/sudo", "-n", HELPER] + list(arguments))

    def system_changes(self):
        """The disk utility's mounts and unmounts: the helper takes the system's mount away before it
        runs ntfs-3g or ntfsfix."""
        return [e["argv"] for e in self.mac.audit("diskutil") if e["argv"][0] in ("mount", "unmount")]

    def identity(self, device):
        """The volume identity of what the device holds, as the application passes it."""
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", device]).stdout.encode())
        return "volume:" + info["VolumeUUID"]

    def test_helper_refuses_hostile_arguments_and_what_is_not_its_own_and_changes_nothing(self):
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
        self.assertEqual(self.system_changes(), [])

        # Once ntfs-3g serves the device, neither a repair nor a second mount touches it, even while
        # another program's arguments hold bytes that are not UTF-8.
        self.assertEqual(self.helper("mount", ntfs, "/Volumes/Data", "Data", data).returncode, 0)
        odd = self.mac.spawn(["/bin/sh", "-c", 'exec -a "$(printf "sleep \\351")" sleep 600'])
        self.addCleanup(odd.kill)
        self.mac.wait_for(lambda: "sleep \udce9" in self.run_in(["/bin/ps", "-A", "-ww", "-o", "args="]).stdout, 10,
                          "ps showing the odd process")
        changes = self.system_changes()
        for arguments in (["fix", ntfs, data], ["mount", ntfs, "/Volumes/Other", "Other", data]):
            r = self.helper(*arguments)
            self.assertEqual(r.returncode, 2, r.stdout)
            self.assertIn("is in use by ntfs-3g", r.stdout)
            # Nothing ran: ntfsfix, for one, says what it did, and the helper would quote it.
            self.assertEqual([line for line in r.stdout.splitlines() if not line.startswith(("drivelark-mount: ", "__"))],
                             [], r.stdout)
        self.assertEqual(self.system_changes(), changes)
        self.assertNotIn("/Volumes/Other", self.mounts())
        self.assert_writable("/Volumes/Data")

        # Once another disk has the device's name, the helper leaves it alone.
        self.mac.detach(disk["id"])
        self.assertEqual(self.attach_ntfs()["id"], ntfs)
        before, changes = self.mounts(), self.system_changes()
        for arguments in (["mount", ntfs, "/Volumes/Data", "Data", data], ["fix", ntfs, data]):
            r = self.helper(*arguments)
            self.assertEqual((r.returncode, "__VOLUME_CHANGED__" in r.stdout.splitlines()), (3, True), r.stdout)
        self.assertEqual((self.mounts(), self.system_changes()), (before, changes))
        self.assertEqual(self.helper("mount", ntfs, "/Volumes/Data", "Data", self.identity(ntfs)).returncode, 0)


if __name__ == "__main__":
    e2e.main()
