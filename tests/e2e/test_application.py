"""Drivelark itself in the simulated Mac, driven through its terminal front end:
the road of an inserted disk, the auto-mount engine's timing and marks, the
menu's commands and alerts, the password-free channel it installs, keep-alive
and sleep."""
import os
import plistlib

import e2e_support as e2e


class Application(e2e.AppTestCase):
    def attempts(self):
        return [line for line in self.log() if line.endswith("，自动处理")]

    # --- the road of one inserted disk ---------------------------------------------------------
    def test_an_inserted_disk_becomes_writable_is_written_back_before_sleep_and_stays_ejected(self):
        app = self.launch()
        app.wait_for_log("免密通道自动安装成功，后续挂载不再需要密码")
        part = self.attach_ntfs()
        self.wait_mounted("/Volumes/Data")
        app.wait_for_log("读写挂载成功(免密通道): Data -> /Volumes/Data")  # recorded as Drivelark's
        log = self.log()
        self.assertLess(log.index("检测到只读抢占，自动处理"), log.index("读写挂载成功(免密通道): Data -> /Volumes/Data"))
        self.assertFalse([line for line in log if line.startswith("检测到外部卸载")])
        self.assert_writable("/Volumes/Data", "written through Drivelark")
        self.assertEqual(self.mac.prompt_count(), 1)  # the installation's only
        # Keep-alive: caffeinate for as long as the volume is mounted, and the device pulsed.
        app.wait_for_log("保活: 已启动 caffeinate(-i -m) pid=", timeout=10)
        self.mac.wait_for(lambda: ["keepalive", part["id"]] in self.helper_runs("keepalive"), 10, "a device pulse")

        # Sleep: the volume is written back first; wake runs a pass at once.
        self.mac.wait_for(lambda: self.mac.inhibitors() == 1, 10, "Drivelark's sleep lock")
        self.run_in(["/bin/sh", "-c", "printf 'before sleep' > /Volumes/Data/note"], check=True)
        self.assertIsNotNone(self.mac.sleep(), "the system had to sleep without Drivelark's go")
        app.wait_for_log("系统即将睡眠，已写回 1 个读写卷")
        self.assertIn(["flush", part["id"]], self.helper_runs("flush"))
        r = self.run_in(["ntfscat", "--force", "/dev/" + part["id"], "note"], user="root")  # read under the mount
        self.assertEqual(r.stdout, "before sleep", r.stderr)
        before = self.passes()
        self.mac.wake()
        self.mac.wait_for(lambda: self.passes() > before, 2, "a pass right after wake")
        app.wait_for_log("系统已唤醒，立即检查磁盘")

        app.choose("「Data」 ✓ 读写中")
        self.wait_unmounted("/Volumes/Data")
        app.wait_for_log("已卸载 Data(%s)（用户操作）" % part["id"])
        app.wait_for_log("保活: 当前无活跃受管卷 (managed=0)，已停止 caffeinate", timeout=10)
        r = self.run_in(["ntfscat", "/dev/" + part["id"], "hello.txt"], user="root")
        self.assertEqual(r.stdout, "written through Drivelark", r.stderr)
        attempts = len(self.attempts())
        self.wait_passes(3)
        self.assertEqual(len(self.attempts()), attempts, "an ejected volume was mounted again")

    # --- the menu's commands and alerts --------------------------------------------------------------
    def test_conversions_from_the_menu_and_their_alerts_the_login_item_and_about(self):
        self.install_helper()
        parts = {name: self.attach_ntfs(name, state=state) for name, state in
                 (("Plain", "clean"), ("Fast", "faststart"), ("Kept", "faststart"))}
        self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Locked"}], raw_writes=False)
        app = self.launch(auto_mount=False)
        app.wait_for_output("状态栏: 无读写卷（有只读 NTFS 卷）\n")
        app.choose("「Plain」 当前只读")
        self.wait_mounted("/Volumes/Plain")
        app.wait_for_output("状态栏: 有读写卷\n")
        app.choose("「Fast」 当前只读")
        app.answer("磁盘处于「不安全状态」", "清理标记并挂载")
        self.wait_mounted("/Volumes/Fast")
        app.choose("「Kept」 当前只读")
        app.answer("磁盘处于「不安全状态」", "取消")
        app.choose("「Locked」 当前只读")
        app.answer("需要授予磁盘访问权限", "稍后再说")
        self.wait_passes(1)
        self.assertNotIn("「挂载失败」", app.output())
        self.assertEqual((self.mounts()["/Volumes/Kept"], self.mounts()["/Volumes/Locked"]), (e2e.RO, e2e.RO))
        self.assertEqual(self.registry()[1], {"/Volumes/Plain": parts["Plain"]["id"], "/Volumes/Fast": parts["Fast"]["id"]})

        entry = e2e.SimMac.HOME + "/.config/autostart/com.drivelark.Drivelark.desktop"
        app.choose("登录时自动启动")
        self.mac.wait_for(lambda: os.path.exists(self.mac.host_path(entry)), 10, "the autostart entry")
        self.assertIn('Exec="%s/MacOS/drivelark"' % e2e.BUNDLE, self.mac.read_text(entry))
        self.assertIn("✓ 登录时自动启动", app.menu().values())
        app.choose("登录时自动启动")
        self.mac.wait_for(lambda: not os.path.exists(self.mac.host_path(entry)), 10, "the entry removed")
        app.choose("关于 Drivelark")
        app.answer("Drivelark v1.4.0", "好")

    def test_the_menu_shows_work_under_way_tells_twins_apart_and_explains_what_failed(self):
        self.mac.set_answers(["cancel", "accept-after:8", "accept"])  # no helper: every conversion asks
        first = self.attach_ntfs("Backup")
        app = self.launch()
        self.mac.wait_for(lambda: "「Backup」 正在转为读写…（不可用）" in app.menu().values(), 20, "the work shown",
                          interval=0.5)
        self.wait_mounted("/Volumes/Backup")
        second = self.attach_ntfs("Backup")
        self.wait_mounted("/Volumes/Backup 1")
        self.mac.wait_for(lambda: sorted(row.split(" ✓ ")[0] for row in app.menu().values() if "✓ 读写中，剩余 " in row) ==
                          ["「Backup」 (%s)" % first["id"], "「Backup」 (%s)" % second["id"]], 10, "two told apart", interval=0.5)

        holder = self.mac.spawn(["sleep", "600"], cwd="/Volumes/Backup")
        self.mac.wait_for(lambda: any(argv == ["sleep", "600"] for pid, argv in self.mac.processes()), 10, "the holder")
        app.choose("「Backup」 (%s) ✓ 读写中" % first["id"])
        app.answer("无法弹出「Backup」", "取消")
        self.assertIn("正在使用它的程序：sleep（进程 ", app.output())
        holder.terminate()
        holder.wait(10)
        app.choose("「Backup」 (%s) ✓ 读写中" % first["id"])
        app.wait_for_log("已卸载 Backup(%s)（用户操作）" % first["id"])

        app.choose("查看日志…")
        app.wait_for_log("无法打开日志 ")  # the simulated Mac has no desktop to show it on
        app.choose("插入 NTFS 磁盘时自动转为读写")  # off: new disks are left alone
        app.wait_for_log("设置: 插入 NTFS 磁盘时自动转为读写 已关闭")
        self.mac.wait_for(lambda: plistlib.loads(self.mac.read_bytes(e2e.PREFERENCES)).get("autoMount") is False, 10,
                          "the preference")
        self.attach_ntfs("Later")
        self.wait_passes(3)
        self.assertEqual(self.mounts()["/Volumes/Later"], e2e.RO)
        app.choose("退出")
        app.wait_for_log("Drivelark 已退出")
        self.assertEqual(app.process.wait(5), 0)


if __name__ == "__main__":
    e2e.main()
