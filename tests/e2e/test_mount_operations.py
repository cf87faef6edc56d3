"""Mount operations end to end in the simulated Mac: the read-write remount
through the administrator prompt and through the installed helper tool, the
unsafe-state repair, the user's unmount, hostile volume names, and the helper
tool itself refusing hostile arguments. Real NTFS images, the real ntfs-3g
and ntfsfix; Drivelark's own MountManager runs inside as the console user
(tests/mount_driver).
"""
import json
import os
import plistlib

import e2e_support as e2e

HELPER = "/usr/local/lib/drivelark/bin/drivelark-mount"
PREFERENCES = e2e.SimMac.HOME + "/Library/Preferences/com.drivelark.Drivelark.plist"
RULE = "/etc/sudoers.d/drivelark"
# Every character that could break out of a command line; "/" and "," end up as "_".
HOSTILE = "Bob's \"x\" \\ $(touch /tmp/owned); `caffeinate -w 1` a,b/c 资料"
HOSTILE_SAFE = "Bob's \"x\" \\ $(touch _tmp_owned); `caffeinate -w 1` a_b_c 资料"


class MountOperations(e2e.SimMacTestCase):
    need_exfat = False

    def setUp(self):
        super().setUp()
        self.driver = e2e.build_file("tests/mount_driver")
        self.bundle = os.path.dirname(os.path.dirname(e2e.drivelark_binary()))

    # --- tools --------------------------------------------------------------
    def drive(self, *args):
        """Runs one operation through MountManager; the list of its completions."""
        r = self.run_in([self.driver] + list(args), timeout=120)
        steps = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertTrue(steps, "no completion: %s %s" % (r.stdout, r.stderr))
        return steps

    def mounts(self):
        """Mount point -> (type, read-only) from the simulated mount."""
        table = {}
        for line in self.mount_lines():
            rest = line.split(" on ", 1)[1]
            mount_point, options = rest.split(" (", 1)
            table[mount_point] = (options.split(",")[0], "read-only" in options)
        return table

    def registry(self):
        data = self.mac.read_bytes(PREFERENCES) if os.path.exists(self.mac.host_path(PREFERENCES)) else None
        stored = plistlib.loads(data) if data else {}
        return stored.get("managedNames", {}), stored.get("managedDevs", {})

    def log(self):
        return [e2e.LOG_LINE.match(line).group(2) for line in self.log_lines() if e2e.LOG_LINE.match(line)]

    def install_helper(self):
        r = self.run_in(["/bin/bash", self.bundle + "/Resources/install_helper.sh", self.bundle + "/MacOS",
                         self.bundle + "/Resources"], user="root")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("HELPER_INSTALL_OK", r.stdout)

    def use_channel(self, channel):
        if channel == "helper":
            self.install_helper()

    def attach_ntfs(self, name="Data", **keys):
        disk = self.mac.attach(scheme="gpt", partitions=[dict({"fs": "ntfs", "name": name}, **keys)])
        return disk["partitions"][0]

    def assert_writable(self, mount_point, content="hello from the Mac"):
        self.assertEqual(self.mounts().get(mount_point), ("nfs", False))
        path = mount_point + "/hello.txt"
        r = self.run_in(["/bin/sh", "-c", 'printf %s "$0" > "$1" && cat "$1"', content, path])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, content)

    # --- remount --------------------------------------------------------------
    def test_prompt_channel_makes_the_volume_writable_and_keeps_the_data(self):
        part = self.attach_ntfs()
        self.assertEqual(self.mounts()["/Volumes/Data"], ("ntfs", True))
        steps = self.drive("remount", part["id"], "Data")
        self.assertTrue(steps[0]["ok"], steps)
        self.assertEqual(self.mac.prompt_count(), 1)
        self.assert_writable("/Volumes/Data")
        self.assertEqual(self.registry(), ({"/Volumes/Data": "Data"}, {"/Volumes/Data": part["id"]}))
        self.assertEqual(self.log()[-2:], ["开始读写挂载 Data(%s) → /Volumes/Data" % part["id"],
                                           "读写挂载成功: Data -> /Volumes/Data"])

        steps = self.drive("unmount", "/Volumes/Data", "Data")
        self.assertTrue(steps[0]["ok"], steps)
        self.assertNotIn("/Volumes/Data", self.mounts())
        self.assertEqual(self.registry(), ({}, {}))
        self.assertEqual(self.log()[-1], "已卸载 Data（用户操作）")
        # The file is in the image itself.
        r = self.run_in(["ntfscat", "/dev/" + part["id"], "hello.txt"], user="root")
        self.assertEqual(r.stdout, "hello from the Mac", r.stderr)

    def test_helper_channel_needs_no_password(self):
        part = self.attach_ntfs()
        self.install_helper()
        steps = self.drive("remount", part["id"], "Data")
        self.assertTrue(steps[0]["ok"], steps)
        self.assertEqual(self.mac.prompt_count(), 0)
        self.assert_writable("/Volumes/Data")
        self.assertEqual(self.registry()[1], {"/Volumes/Data": part["id"]})
        self.assertEqual(self.log()[-1], "读写挂载成功(免密通道): Data -> /Volumes/Data")
        sudo = [e["argv"] for e in self.mac.audit("sudo")]
        self.assertIn(["-n", HELPER, "mount", part["id"], "/Volumes/Data", "Data"], sudo)

    def test_helper_without_sudo_rule_fails_with_sudos_message_and_no_prompt(self):
        part = self.attach_ntfs()
        self.install_helper()
        self.run_in(["rm", "-f", RULE], user="root", check=True)
        steps = self.drive("remount", part["id"], "Data")
        self.assertFalse(steps[0]["ok"])
        self.assertIn("sudo: a password is required", steps[0]["out"])
        self.assertEqual(self.mac.prompt_count(), 0)
        self.assertEqual(self.log()[-1], "免密通道挂载失败: sudo: a password is required")
        self.assertEqual(self.registry(), ({}, {}))

    def test_helper_that_cannot_run_falls_back_to_one_prompt(self):
        part = self.attach_ntfs()
        self.mac.write_file(HELPER, "#!/bin/sh\nexit 127\n", owner="root", mode=0o755)
        self.mac.write_file(RULE, "alice ALL=(root) NOPASSWD: %s\n" % HELPER, owner="root", mode=0o440)
        steps = self.drive("remount", part["id"], "Data")
        self.assertTrue(steps[0]["ok"], steps)
        self.assertEqual(self.mac.prompt_count(), 1)
        self.assertEqual(self.log().count("免密通道不可用，改走管理员授权"), 1)
        self.assertEqual(self.log()[-1], "读写挂载成功: Data -> /Volumes/Data")
        self.assert_writable("/Volumes/Data")

    def test_cancelled_prompt_changes_nothing(self):
        part = self.attach_ntfs()
        self.mac.set_answers(["cancel"])
        steps = self.drive("remount", part["id"], "Data")
        self.assertFalse(steps[0]["ok"])
        self.assertIn("User canceled. (-128)", steps[0]["out"])
        self.assertEqual(self.registry(), ({}, {}))
        self.assertEqual(self.mounts()["/Volumes/Data"], ("ntfs", True))
        self.assertEqual(self.mac.audit("ntfs-3g")[1:], [])  # only the system's own mount at attach

    def check_refused_raw_writes(self, channel):
        self.use_channel(channel)
        disk = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Data"}], raw_writes=False)
        part = disk["partitions"][0]
        runs_before = len(self.mac.audit("ntfs-3g"))  # the system's own read-only mount
        steps = self.drive("remount", part["id"], "Data")
        self.assertFalse(steps[0]["ok"])
        self.assertIn("__WRITE_DENIED__", steps[0]["out"])
        self.assertEqual(len(self.mac.audit("ntfs-3g")), runs_before, "ntfs-3g ran")
        self.assertNotEqual(self.mounts().get("/Volumes/Data"), ("nfs", False))

    def test_refused_raw_writes_through_the_prompt(self):
        self.check_refused_raw_writes("prompt")

    def test_refused_raw_writes_through_the_helper(self):
        self.check_refused_raw_writes("helper")

    # --- unsafe states ----------------------------------------------------------
    def check_hibernated(self, channel):
        self.use_channel(channel)
        part = self.attach_ntfs("Windows", state="hibernated")
        steps = self.drive("remount-repairing", part["id"], "Windows")
        self.assertEqual([s["step"] for s in steps], ["remount", "fix"], steps)
        self.assertFalse(steps[0]["ok"])
        self.assertIn("hibernat", steps[0]["out"])
        self.assertFalse(steps[1]["ok"])
        self.assertIn("hibernated", steps[1]["out"])
        self.assertNotIn("/Volumes/Windows", self.mounts(), "something is left mounted")
        self.assertEqual(self.mac.audit("ntfsfix"), [], "ntfsfix ran on a hibernated Windows volume")
        self.assertEqual(self.registry(), ({}, {}))

    def check_fast_start(self, channel):
        self.use_channel(channel)
        part = self.attach_ntfs("Windows", state="faststart")
        steps = self.drive("remount-repairing", part["id"], "Windows")
        self.assertEqual([(s["step"], s["ok"]) for s in steps], [("remount", False), ("fix", True), ("remount", True)],
                         steps)
        self.assertIn("unsafe state", steps[0]["out"])
        self.assert_writable("/Volumes/Windows")
        self.assertEqual(self.registry()[1], {"/Volumes/Windows": part["id"]})
        self.assertIn("清理脏标记 ntfsfix -d /dev/" + part["id"], self.log())

    def test_hibernated_volume_through_the_prompt(self):
        self.check_hibernated("prompt")

    def test_hibernated_volume_through_the_helper(self):
        self.check_hibernated("helper")
        self.assertEqual(self.mac.prompt_count(), 0)

    def test_fast_started_volume_through_the_prompt(self):
        self.check_fast_start("prompt")
        self.assertEqual(self.mac.prompt_count(), 3)

    def test_fast_started_volume_through_the_helper(self):
        self.check_fast_start("helper")
        self.assertEqual(self.mac.prompt_count(), 0)

    # --- unmount -------------------------------------------------------------------
    def test_busy_unmount_fails_and_keeps_the_registry(self):
        part = self.attach_ntfs()
        self.assertTrue(self.drive("remount", part["id"], "Data")[0]["ok"])
        holder = self.mac.spawn(["sleep", "600"], cwd="/Volumes/Data")
        self.mac.wait_for(lambda: len(self.mac.pids()) > 0, 10, "the process holding the volume")
        steps = self.drive("unmount", "/Volumes/Data", "Data")
        self.assertFalse(steps[0]["ok"])
        self.assertIn("/Volumes/Data", steps[0]["out"])
        self.assertEqual(self.mounts().get("/Volumes/Data"), ("nfs", False))
        self.assertEqual(self.registry()[1], {"/Volumes/Data": part["id"]})
        self.assertIn("卸载失败 Data: " + steps[0]["out"].rstrip("\n"), self.log())
        holder.terminate()
        holder.wait(10)
        steps = self.drive("unmount", "/Volumes/Data", "Data")
        self.assertTrue(steps[0]["ok"], steps)
        self.assertEqual(self.registry(), ({}, {}))

    # --- hostile names -----------------------------------------------------------------
    def check_hostile_name(self, channel):
        self.use_channel(channel)
        part = self.attach_ntfs(HOSTILE)
        steps = self.drive("remount", part["id"], HOSTILE)
        self.assertTrue(steps[0]["ok"], steps)
        mount_point = "/Volumes/" + HOSTILE_SAFE
        self.assert_writable(mount_point)
        self.assertEqual(self.registry(), ({mount_point: HOSTILE_SAFE}, {mount_point: part["id"]}))
        # Nothing the name spelled ever ran.
        self.assertEqual(self.mac.audit("caffeinate"), [])
        for folder in ("/", "/Users/alice", "/private/var/root", "/root", "/tmp", mount_point):
            for name in ("owned", "_tmp_owned"):
                path = self.mac.host_path(folder.rstrip("/") + "/" + name)
                self.assertFalse(os.path.exists(path), path)

    def test_hostile_name_through_the_prompt(self):
        self.check_hostile_name("prompt")

    def test_hostile_name_through_the_helper(self):
        self.check_hostile_name("helper")

    def test_option_looking_name_through_the_helper(self):
        self.install_helper()
        part = self.attach_ntfs("-o ro")
        steps = self.drive("remount", part["id"], "-o ro")
        self.assertTrue(steps[0]["ok"], steps)
        self.assert_writable("/Volumes/_o ro")
        self.assertEqual(self.mac.prompt_count(), 0)

    # --- the helper tool on its own ---------------------------------------------------------
    def test_helper_refuses_hostile_arguments_and_changes_nothing(self):
        self.install_helper()
        disk = self.mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Data"},
                                                         {"fs": "fat32", "name": "STICK"}])
        ntfs, fat = disk["partitions"][0]["id"], disk["partitions"][1]["id"]
        before_mounts = self.mounts()
        fat_image = self.run_in(["sha256sum", "/dev/" + fat], user="root").stdout
        refusals = [
            ["mount", ntfs, "/etc", "Data"],
            ["mount", ntfs, "/Volumes/..", "Data"],
            ["mount", ntfs, "/Volumes/../etc", "Data"],
            ["mount", ntfs, "../Data", "Data"],
            ["mount", ntfs, "/Volumes/Data", "x,allow_other"],
            ["mount", ntfs, "/Volumes/Data", "-o"],
            ["mount", "-o", "/Volumes/Data", "Data"],
            ["mount", "/dev/" + ntfs, "/Volumes/Data", "Data"],
            ["mount", fat, "/Volumes/STICK", "STICK"],
            ["mount", "disk99s1", "/Volumes/Nowhere", "Nowhere"],
            ["fix", fat],
            ["fix", ntfs],  # still mounted by the system
            ["fix", "../" + ntfs],
            ["unmount", "/etc"],
            ["unmount", "/Volumes/.."],
            ["unmount", "/"],
            ["keepalive", "../../etc/passwd"],
            ["mount", ntfs, "/Volumes/Data"],
            ["--help"],
            [],
        ]
        for arguments in refusals:
            with self.subTest(arguments=arguments):
                r = self.run_in(["/usr/bin/sudo", "-n", HELPER] + arguments)
                self.assertNotEqual(r.returncode, 0, r.stdout)
                self.assertNotIn(r.returncode, (126, 127))
                self.assertIn("drivelark-mount: ", r.stdout)
        self.assertEqual(self.mounts(), before_mounts)
        self.assertEqual(self.run_in(["sha256sum", "/dev/" + fat], user="root").stdout, fat_image)
        self.assertEqual(self.mac.audit("ntfs-3g")[1:], [])
        self.assertEqual(self.mac.audit("ntfsfix"), [])
        # And it does run where asked properly.
        self.assertEqual(self.run_in(["/usr/bin/sudo", "-n", HELPER, "selftest"]).returncode, 0)


if __name__ == "__main__":
    e2e.main()
