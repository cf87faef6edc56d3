"""Drivelark acts only on what is provably its own: the volume a root action was decided for, not
whatever disk has its device name by now, and mounts that its ntfs-3g serves, not a share or
another program's mount at a volume's usual place. Device names, mount points and volume names
are reused by other disks within seconds."""
import os

import e2e_support as e2e
from e2e_support import RO, RW


def disk_of(part):
    return part["id"].rsplit("s", 1)[0]


class Ownership(e2e.AppTestCase):
    def test_a_disk_swapped_while_the_password_dialog_is_open_is_not_taken_for_the_first(self):
        # No helper: the installation fails, and the remount's dialog stays open meanwhile, while the
        # disk is swapped, the passes go on and the system sleeps and wakes.
        self.mac.set_answers(["wrong", "accept-after:20", "accept"])
        a = self.attach_ntfs("A")
        app = self.launch()
        self.mac.wait_for(lambda: self.mac.prompt_count() == 2, 30, "the remount's password dialog")
        app.wait_for_log("免密通道自动安装未完成（用户取消或失败），降级为逐次授权: ")
        self.mac.detach(disk_of(a))
        b = self.attach_ntfs("B")
        self.assertEqual(b["id"], a["id"])
        self.assertIsNotNone(self.mac.sleep(), "the system had to sleep without Drivelark's go")
        self.mac.wake()
        app.wait_for_log("系统已唤醒，立即检查磁盘")
        self.wait_passes(2)
        app.menu(within=1.0)
        self.assertEqual((len(self.mac.audit("osascript")), self.mac.prompt_count()), (1, 2),
                         "the remount's dialog was answered too soon, or a second one opened while it was open")
        app.wait_for_log("分区移除: uuid:%s A(%s)" % (a["uuid"], a["id"]), timeout=40)
        self.wait_mounted("/Volumes/B")  # as itself, after a dialog of its own
        self.mac.wait_for(lambda: self.registry() == ({"/Volumes/B": "B"}, {"/Volumes/B": b["id"]}), 10,
                          lambda: "B alone in the registry: %s" % (self.registry(),))
        self.assertNotIn("/Volumes/A", self.mounts())
        self.assertEqual(self.helper_runs("fix"), [])
        self.assert_writable("/Volumes/B")

    def test_a_share_at_a_volumes_place_and_other_programs_mounts_are_someone_elses(self):
        self.install_helper()
        # A share that root mounted at a volume's usual place, and a FUSE mount that another program serves.
        self.sh("mkdir /Volumes/Data /Volumes/Foreign && mount -t tmpfs server:/export /Volumes/Data && "
                "mkfs.fat -C /tmp/foreign.img 1024 >/dev/null && fusefat -o ro /tmp/foreign.img /Volumes/Foreign",
                user="root", check=True)
        writer = self.mac.spawn(["/bin/sh", "-c", "exec 3>>/Volumes/Data/log; while :; do echo x >&3; sleep 0.1; done"],
                                user="root")
        self.addCleanup(writer.kill)
        self.mac.attach(scheme="mbr", partitions=[{"fs": "fat32", "name": "STICK"}])
        self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])
        part = self.attach_ntfs("Data")
        self.assertEqual(part["mount_point"], "/Volumes/Data 1")
        before = self.mounts()
        self.assertEqual((before["/Volumes/Data"], before["/Volumes/Foreign"]), (RW, ("nfs", True)))
        for mount_point in ("/Volumes/STICK", "/Volumes/CARD", "/Volumes/Data 1", "/Volumes/Data", "/Volumes/Foreign"):
            r = self.run_in(["/usr/bin/sudo", "-n", e2e.HELPER, "unmount", mount_point])
            self.assertEqual(r.returncode, 2, mount_point + ": " + r.stdout)  # the helper touches none of them
        self.assertEqual(self.mounts(), before)
        app = self.launch()
        self.wait_mounted("/Volumes/Data 1")
        app.choose("「Data」 ✓ 读写中")  # the only read-write row: the share has none
        app.wait_for_log("已卸载 Data(%s)（用户操作）" % part["id"])
        self.mac.run(["/usr/sbin/diskutil", "mount", part["id"]], check=True)
        app.choose("「Data」 当前只读")
        self.wait_mounted("/Volumes/Data 1")
        self.mac.yank(disk_of(part))
        app.wait_for_log("僵尸挂载已清理: /Volumes/Data 1")
        self.assertEqual(self.mounts()["/Volumes/Data"], RW)
        self.assertFalse([line for line in self.log() if "/Volumes/Data（" in line or line.endswith("/Volumes/Data")])
        size = os.path.getsize(self.mac.host_path("/Volumes/Data/log"))
        self.mac.wait_for(lambda: os.path.getsize(self.mac.host_path("/Volumes/Data/log")) > size, 10,
                          "the writer's next line on the share")

    def test_swaps_and_ejects_are_told_by_the_volume_not_its_device_name(self):
        self.install_helper()
        a = self.attach_ntfs("A")
        app = self.launch()
        self.wait_mounted("/Volumes/A")
        self.wait_past("开始读写挂载", 6)
        # A pulled while mounted, its dead mount removed from outside, and B given A's device name
        # within a pass: no eject of A is made up, and B is converted.
        self.mac.yank(disk_of(a))
        self.run_in(["/usr/sbin/diskutil", "unmount", "force", "/Volumes/A"], user="root", check=True)
        b = self.attach_ntfs("B")
        self.wait_mounted("/Volumes/B")
        self.assertFalse([line for line in self.log() if line.startswith("检测到外部卸载")])
        # B ejected in the Finder, mounted by hand, converted from the menu, ejected again: both
        # ejects are the user's, and each holds.
        for eject in range(2):
            self.wait_past("开始读写挂载", 6)
            self.run_in(["/usr/sbin/diskutil", "unmount", "/Volumes/B"], check=True)
            app.wait_for_log("检测到外部卸载（用户推出）: /Volumes/B，本次不再自动重挂")
            self.mac.wait_for(lambda: self.log().count("检测到外部卸载（用户推出）: /Volumes/B，本次不再自动重挂") == eject + 1, 10,
                              "eject %d noticed" % (eject + 1))
            self.run_in(["/usr/sbin/diskutil", "mount", b["id"]], check=True)
            self.wait_passes(2)
            self.assertEqual(self.mounts()["/Volumes/B"], RO)
            if eject == 0:
                app.choose("「B」 当前只读")
                self.wait_mounted("/Volumes/B")


if __name__ == "__main__":
    e2e.main()
