"""Self-tests of the simulated Mac: that it behaves as the
real programs do, on real NTFS images and the real ntfs-3g, and that it
leaves nothing behind. No Drivelark binary is needed."""
import base64
import errno
import hashlib
import os
import plistlib
import re
import signal
import socket
import struct
import subprocess
import time
import unittest

import simmac_testcase as e2e
from simlib import dbus_wire
from simmac_testcase import SimMac, lifecycle

ROOT = "root"


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def applescript_literal(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def waits_for_the_user(pid):
    """True while a setuid program waits with its real uid handed to the
    user (who may then signal it) and root kept as its effective uid."""
    try:
        with open("/proc/%d/status" % pid) as f:
            return next(l.split()[1:3] for l in f if l.startswith("Uid:")) == ["501", "0"]
    except OSError:
        return False


class Environment(e2e.SimMacTestCase):
    def test_the_mac_as_the_user_sees_it(self):
        r = self.sh("id -u; id -g; id -gn; echo $HOME; pwd; stat -c '%U %G' $HOME /dev/console; ls -A /Volumes; "
                    "stat -c '%u %g %a' /Library/PrivilegedHelperTools; stat -c '%U %F %N' /Volumes/*")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(),
                         ["501", "20", "staff", "/Users/alice", "/Users/alice", "alice staff", "alice staff",
                          "Macintosh HD", "0 0 755",
                          "root symbolic link '/Volumes/Macintosh HD' -> '/'"])
        for prog in ("/usr/sbin/diskutil", "/usr/bin/sudo", "/usr/bin/osascript"):
            st = os.stat(self.mac.host_path(prog))
            self.assertTrue(st.st_mode & 0o4000 and st.st_uid == 0, prog + " is not setuid root")
        for prog in ("/usr/bin/caffeinate", "/usr/sbin/lsof"):
            self.assertFalse(os.stat(self.mac.host_path(prog)).st_mode & 0o4000, prog + " must not be setuid")
        r = self.sh("readlink -f /sbin/mount; /sbin/mount | head -1")
        self.assertEqual(r.stdout.splitlines(),
                         ["/usr/sbin/mount", "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)"])
        self.assertIn(e2e.REPO, self.sh("ls -d " + shell_quote(e2e.REPO)).stdout)

    def test_diskutil_list_shape_and_argument_order(self):
        r = self.run_in(["/usr/sbin/diskutil", "list", "-plist"])
        self.assertEqual(r.returncode, 0, r.stderr)
        data = plistlib.loads(r.stdout.encode())
        self.assertEqual(sorted(data), ["AllDisks", "AllDisksAndPartitions", "VolumesFromDisks", "WholeDisks"])
        self.assertEqual(data["WholeDisks"], ["disk0", "disk3"])
        disk3 = data["AllDisksAndPartitions"][1]
        self.assertEqual(disk3["Partitions"], [])
        self.assertEqual(disk3["APFSPhysicalStores"], [{"DeviceIdentifier": "disk0s2"}])
        keys = re.findall(r"<key>(.*?)</key>", r.stdout.split("<array>")[0])
        self.assertEqual(keys, sorted(keys))
        r = self.run_in(["/usr/sbin/diskutil", "-plist", "list"])
        self.assertEqual(r.returncode, 1)
        self.assertIn('diskutil: did not recognize verb "-plist"; type "diskutil" for a list', r.stdout + r.stderr)

    def test_host_is_untouched(self):
        watched = ["/usr/bin/sudo", "/etc/passwd", "/etc/group", "/etc/sudoers", "/usr/bin/mount", "/bin/sh"]
        before = {p: sha256(p) for p in watched}
        link = os.readlink("/usr/bin/sh")
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        self.sh("echo x > /etc/sudoers.d/probe; touch /usr/local/bin/x", user=ROOT)
        for path in ("/usr/sbin/diskutil", "/usr/sbin/lsof", "/etc/sudoers.d/probe"):
            self.assertFalse(os.path.exists(path), path)
        self.assertFalse(os.path.exists("/Volumes/Data"))
        self.assertEqual({p: sha256(p) for p in watched}, before)
        self.assertEqual(os.readlink("/usr/bin/sh"), link)


class SystemMounts(e2e.SimMacTestCase):
    def test_attach_mounts_ntfs_read_only_through_ntfs3g(self):
        d = self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        part = d["partitions"][0]
        self.assertEqual(part["mount_point"], "/Volumes/Data")
        r = self.sh("grep ' /Volumes/Data ' /proc/self/mountinfo")
        fields = r.stdout.split(" - ")
        self.assertEqual(fields[0].split()[5].split(",")[0], "ro", r.stdout)
        self.assertEqual(fields[1].split()[0], "fuse", r.stdout)
        daemons = [p for p in self.mac.pids() if (lifecycle.procs.exe(p) or "").endswith("/ntfs-3g")]
        self.assertTrue(daemons, "no ntfs-3g process serves the mount")
        r = self.sh("touch /Volumes/Data/x")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Read-only file system", r.stderr)
        self.assertIn("/dev/%s on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)" % part["id"],
                      self.mount_lines())
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", "/Volumes/Data"]).stdout.encode())
        self.assertEqual((info["DeviceIdentifier"], info["FilesystemType"], info["WritableVolume"]),
                         (part["id"], "ntfs", False))

    def test_other_file_systems_are_mounted_read_write(self):
        d = self.mac.attach(scheme="gpt", partitions=[{"fs": "fat32", "name": "STICK"}])
        c = self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])
        lines = self.mount_lines()
        self.assertIn("/dev/%s on /Volumes/STICK (msdos, local, nodev, nosuid, noowners)" % d["partitions"][0]["id"],
                      lines)
        self.assertIn("/dev/%s on /Volumes/CARD (exfat, local, nodev, nosuid, noowners)" % c["partitions"][0]["id"],
                      lines)
        r = self.sh("echo hi > /Volumes/STICK/a.txt && echo ho > /Volumes/CARD/b.txt && "
                    "cat /Volumes/STICK/a.txt /Volumes/CARD/b.txt")
        self.assertEqual(r.stdout, "hi\nho\n", r.stderr)

    def test_filesystem_type_in_the_listing_only_when_asked(self):
        self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD", "mount": False}])
        self.mac.attach(scheme="none", partitions=[{"fs": "ntfs", "name": "Whole", "mount": False}],
                        fstype_shown=True)

        def volumes():
            entries = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "list", "-plist"]).stdout.encode())
            entries = entries["AllDisksAndPartitions"]
            return {v["DeviceIdentifier"]: v.get("FilesystemType")
                    for d in entries for v in d.get("Partitions", [d] if "Content" in d else [])}

        self.assertEqual(volumes(), {"disk0s1": None, "disk0s2": None, "disk4s1": None, "disk5": "ntfs"})
        self.mac.set_fstype_shown(True)
        self.assertEqual(volumes(), {"disk0s1": "msdos", "disk0s2": "apfs", "disk4s1": "exfat", "disk5": "ntfs"})

    def test_name_clashes_and_unnamed_volumes(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "ntfs", "name": "Data"},
                                    {"fs": "ntfs", "name": None}, {"fs": "ntfs", "name": "Macintosh HD"}])
        r = self.sh("ls /Volumes")
        self.assertEqual(sorted(r.stdout.splitlines()), ["Data", "Data 1", "Macintosh HD", "Macintosh HD 1",
                                                         "Untitled"])
        self.assertIn("/dev/disk4s4 on /Volumes/Macintosh HD 1 (ntfs, local, nodev, nosuid, read-only, noowners)",
                      self.mount_lines())


class RawDevices(e2e.SimMacTestCase):
    DD = ["dd", "if=/dev/zero", "of=/dev/rdisk4s1", "bs=1", "count=0"]

    def image(self, dev):
        return os.path.join(self.mac.var, "images", dev + ".img")

    def test_write_probe_opens_without_touching_the_image(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        before = sha256(self.image("disk4s1"))
        r = self.run_in(self.DD, user=ROOT)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sha256(self.image("disk4s1")), before)

    def test_write_probe_refused(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}], raw_writes=False)
        before = sha256(self.image("disk4s1"))
        r = self.run_in(self.DD, user=ROOT)
        self.assertNotEqual(r.returncode, 0)
        r = self.sh("dd if=/dev/zero of=/dev/rdisk4s1 bs=1 count=0 2>/dev/null || "
                    "{ echo __WRITE_DENIED__; exit 1; }", user=ROOT)
        self.assertEqual((r.returncode, r.stdout), (1, "__WRITE_DENIED__\n"))
        self.assertEqual(sha256(self.image("disk4s1")), before)


class Sudo(e2e.SimMacTestCase):
    def install_rule(self, text, name="drivelark"):
        # The way Drivelark's installer does it: check, then install.
        self.mac.write_file("/tmp/rule", text, owner=ROOT)
        r = self.sh("visudo -c -f /tmp/rule && install -o root -g wheel -m 440 /tmp/rule /etc/sudoers.d/" + name,
                    user=ROOT)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_refused_without_a_rule(self):
        r = self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/id", "-u"])
        self.assertEqual((r.returncode, r.stdout, r.stderr), (1, "", "sudo: a password is required\n"))

    def test_runs_as_root_with_a_rule(self):
        self.install_rule("alice ALL=(root) NOPASSWD: /usr/bin/id\n")
        r = self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/id", "-u"])
        self.assertEqual((r.returncode, r.stdout), (0, "0\n"), r.stderr)
        r = self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/whoami"])
        self.assertEqual((r.returncode, r.stderr), (1, "sudo: a password is required\n"))
        entry = self.mac.audit("sudo")[0]
        self.assertEqual((entry["uid"], entry["argv"], entry["result"]), (501, ["-n", "/usr/bin/id", "-u"], "ran"))

    def test_group_rule_and_skipped_files(self):
        self.install_rule("%admin ALL=(ALL) NOPASSWD: /usr/bin/id\n", name="admins.conf")   # skipped: has a '.'
        self.assertEqual(self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/id", "-u"]).returncode, 1)
        self.install_rule("%admin ALL=(ALL) NOPASSWD: /usr/bin/id\n", name="admins")
        self.assertEqual(self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/id", "-u"]).stdout, "0\n")

    def test_helper_that_does_not_exist(self):
        helper = "/usr/local/lib/drivelark/bin/drivelark-mount"
        self.install_rule("alice ALL=(root) NOPASSWD: %s\n" % helper)
        r = self.run_in(["/usr/bin/sudo", "-n", helper, "selftest"])
        self.assertEqual((r.returncode, r.stderr), (1, "sudo: %s: command not found\n" % helper))
        self.mac.write_file(helper, "#!/bin/sh\n[ \"$1\" = selftest ] && [ \"$(id -u)\" = 0 ]\n", owner=ROOT,
                            mode=0o755)
        r = self.run_in(["/usr/bin/sudo", "-n", helper, "selftest"])
        self.assertEqual(r.returncode, 0, r.stderr)


    def test_list_check_and_digest_pins(self):
        tool = "/Library/PrivilegedHelperTools/tool"
        script = "#!/bin/sh\nid -u\n"
        self.mac.write_file(tool, script, owner=ROOT, mode=0o755)
        digest = hashlib.sha256(script.encode()).digest()

        def sudo(*args):
            r = self.run_in(["/usr/bin/sudo"] + list(args))
            return r.returncode, r.stdout, r.stderr

        refused = (1, "", "sudo: a password is required\n")
        self.assertEqual(sudo("-n", "-l", tool), refused)
        self.assertEqual(sudo("-n", "-l"), refused)
        self.install_rule("alice ALL=(root) NOPASSWD: sha256:%s %s\n" % (digest.hex(), tool))
        self.assertEqual(sudo("-n", "-l", tool), (0, tool + "\n", ""))
        self.assertEqual(sudo("-n", "-l", tool, "a", "b"), (0, tool + " a b\n", ""))
        self.assertEqual(sudo("-n", "-l", "/usr/bin/id"), refused)
        self.assertEqual(sudo("-n", tool), (0, "0\n", ""))
        code, out, _ = sudo("-n", "-l")
        self.assertEqual(code, 0)
        self.assertIn("    (root) NOPASSWD: sha256:%s %s\n" % (digest.hex(), tool), out)
        self.mac.write_file(tool, script + "# changed\n", owner=ROOT, mode=0o755)
        self.assertEqual(sudo("-n", tool), refused)
        self.assertEqual(sudo("-n", "-l", tool), refused)
        # base64, and a list with a digest that does not match first
        self.mac.write_file(tool, script, owner=ROOT, mode=0o755)
        other = hashlib.sha512(b"other").digest()
        self.install_rule("alice ALL=(root) NOPASSWD: sha512:%s, sha256:%s %s\n"
                          % (base64.b64encode(other).decode(), base64.b64encode(digest).decode(), tool))
        self.assertEqual(sudo("-n", tool), (0, "0\n", ""))
        self.assertEqual([e["result"] for e in self.mac.audit("sudo")][-3:], ["password required"] * 2 + ["ran"])


class Osascript(e2e.SimMacTestCase):
    def osascript(self, command, admin=True):
        script = 'do shell script "%s"%s' % (applescript_literal(command),
                                             " with administrator privileges" if admin else "")
        return self.run_in(["/usr/bin/osascript", "-e", script]), script

    def test_escaping_round_trip(self):
        payload = "it's \"quoted\" \\back $HOME `x` ;\nsecond line"
        command = "printf '%s' " + shell_quote(payload)
        r, _ = self.osascript(command)
        self.assertEqual((r.returncode, r.stdout), (0, payload.replace("\n", "\r") + "\n"), r.stderr)
        self.assertEqual(self.mac.audit("osascript")[-1]["shell"], command)

    def test_applescript_escapes(self):
        r = self.run_in(["/usr/bin/osascript", "-e", r'''do shell script "printf '%s|%s' 'a\tb' \"q\""'''])
        self.assertEqual(r.stdout, "a\tb|q\n", r.stderr)
        for bad in ('do shell script "abc', 'do shell script "a\\qb"', 'do shell script "x" with nonsense'):
            r = self.run_in(["/usr/bin/osascript", "-e", bad])
            self.assertEqual(r.returncode, 1, bad)
            self.assertRegex(r.stderr, r"^\d+:\d+: syntax error: .* \(-27\d\d\)\n$")

    def test_runs_as_root_and_output_rules(self):
        r, _ = self.osascript("id -u; echo b >&2; printf 'c\\n\\n'")
        self.assertEqual((r.returncode, r.stdout), (0, "0\rc\r\n"), r.stderr)
        r, _ = self.osascript("id -u", admin=False)
        self.assertEqual(r.stdout, "501\n")

    def test_failure_format(self):
        r, script = self.osascript("echo out; echo err >&2; exit 3")
        self.assertEqual((r.returncode, r.stdout), (1, ""))
        self.assertEqual(r.stderr, "0:%d: execution error: err (3)\n" % len(script))
        r, script = self.osascript("echo only-out; exit 4")
        self.assertEqual(r.stderr, "0:%d: execution error: only-out (4)\n" % len(script))
        r, script = self.osascript("zzz")
        self.assertRegex(r.stderr, r"^0:%d: execution error: .*zzz: command not found \(127\)\n$" % len(script))

    def test_cancel_and_prompt_count(self):
        self.mac.set_answers(["accept", "cancel"])
        self.assertEqual(self.osascript("true")[0].returncode, 0)
        r, script = self.osascript("touch /tmp/ran")
        self.assertEqual((r.returncode, r.stderr), (1, "0:%d: execution error: User canceled. (-128)\n" % len(script)))
        self.assertFalse(os.path.exists(self.mac.host_path("/tmp/ran")))
        self.assertEqual(self.osascript("true")[0].returncode, 0)   # queue empty: the user accepts
        self.osascript("true", admin=False)
        self.assertEqual(self.mac.prompt_count(), 3)
        self.assertEqual([e["answer"] for e in self.mac.audit("osascript")], ["accept", "cancel", "accept", None])

    def test_command_passed_as_an_argument(self):
        handler = ["-e", "on run argv", "-e", "do shell script (item 1 of argv) with administrator privileges",
                   "-e", "end run"]
        statement = (12, 12 + len(handler[3]))
        payload = 'it\'s “curly” "q" \\ $HOME\nend'
        command = "id -u; printf '%s' " + shell_quote(payload)
        r = self.run_in(["/usr/bin/osascript"] + handler + [command])
        self.assertEqual((r.returncode, r.stdout), (0, "0\r" + payload.replace("\n", "\r") + "\n"), r.stderr)
        self.assertEqual(self.mac.audit("osascript")[-1]["shell"], command)
        loose = ["-e", "ON RUN  Argv", "-e", "Do Shell Script  ITEM 2 of argv  With Administrator Privileges",
                 "-e", "END"]
        r = self.run_in(["/usr/bin/osascript"] + loose + ["true", "echo second; exit 3"])
        self.assertEqual((r.returncode, r.stderr), (1, "13:%d: execution error: second (3)\n" % (13 + len(loose[3]))))
        self.mac.set_answers(["cancel"])
        r = self.run_in(["/usr/bin/osascript"] + handler + ["touch /tmp/ran"])
        self.assertEqual(r.stderr, "%d:%d: execution error: User canceled. (-128)\n" % statement)
        r = self.run_in(["/usr/bin/osascript"] + handler)
        self.assertEqual((r.returncode, r.stderr), (1, "29:43: execution error: Can’t get item 1 of {}. (-1728)\n"))
        r = self.run_in(["/usr/bin/osascript"] + handler + ["-x /tmp/ran"])     # read as an option
        self.assertEqual((r.returncode, r.stdout), (1, ""))
        self.assertEqual(r.stderr.splitlines()[0], "osascript: illegal option -- x")
        self.assertTrue(r.stderr.splitlines()[1].startswith("usage: osascript "), r.stderr)
        r = self.run_in(["/usr/bin/osascript"] + handler + ["--", "-x"])
        self.assertTrue(r.stderr.startswith("%d:%d: execution error: " % statement), r.stderr)   # sh -c -x
        self.assertFalse(os.path.exists(self.mac.host_path("/tmp/ran")))
        self.assertEqual(self.mac.prompt_count(), 4)
        self.assertEqual([e.get("shell") for e in self.mac.audit("osascript")][1:],
                         ["echo second; exit 3", "touch /tmp/ran", None, None, "-x"])

    def test_answers_that_take_time(self):
        self.mac.set_answers(["cancel-after:0.4", "accept-after:60"])
        started = time.monotonic()
        r, script = self.osascript("touch /tmp/ran")
        self.assertGreaterEqual(time.monotonic() - started, 0.4)
        self.assertEqual(r.stderr, "0:%d: execution error: User canceled. (-128)\n" % len(script))
        # The dialog is open (counted) while the user thinks; the caller may give up and kill osascript.
        slow = self.mac.spawn(["/usr/bin/osascript", "-e", script])
        self.mac.wait_for(lambda: self.mac.prompt_count() == 2 and waits_for_the_user(slow.pid), 10,
                          "the second dialog to open")
        self.assertEqual(self.sh("kill %d" % slow.pid).returncode, 0)
        self.assertEqual(slow.wait(10), -15)
        self.assertFalse(os.path.exists(self.mac.host_path("/tmp/ran")))
        self.assertEqual([(e["answer"], e["answer_after"]) for e in self.mac.audit("osascript")], [("cancel", 0.4)])
        with self.assertRaises(e2e.SimError):
            self.mac.set_answers(["accept-later"])

    def test_waits_for_the_end_of_output(self):
        r, _ = self.osascript("(sleep 0.3; echo late) & echo early")
        self.assertEqual(r.stdout, "early\rlate\n")


class NtfsStates(e2e.SimMacTestCase):
    """The real ntfs-3g and ntfsfix on images in the states Windows leaves."""

    def attach_unmounted(self, state):
        d = self.mac.attach(partitions=[{"fs": "ntfs", "name": "Win", "state": state, "mount": False}])
        return d["partitions"][0]["id"]

    def ntfs3g(self, dev, name="Win"):
        return self.sh("mkdir -p /Volumes/%s && /usr/local/bin/ntfs-3g /dev/%s /Volumes/%s "
                       "-o volname=%s,local,noowners,noatime" % (name, dev, name, name), user=ROOT)

    def check_fallback(self, state, message):
        dev = self.attach_unmounted(state)
        r = self.ntfs3g(dev)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(message, r.stderr)
        self.assertIn("Falling back to read-only mount", r.stderr)
        self.assertIn("fuse-t:/Win on /Volumes/Win (nfs, nodev, nosuid, read-only, mounted by root)",
                      self.mount_lines())
        self.assertEqual(len(self.mac.audit("ntfs-3g")), 1)

    def test_hibernated_falls_back_to_read_only(self):
        self.check_fallback("hibernated", "Windows is hibernated, refused to mount.")

    def test_fast_start_falls_back_to_read_only(self):
        self.check_fallback("faststart", "Metadata kept in Windows cache, refused to mount.")

    def test_ntfsfix_repairs_fast_start(self):
        dev = self.attach_unmounted("faststart")
        r = self.run_in(["/usr/local/bin/ntfsfix", "-d", "/dev/" + dev], user=ROOT)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("processed successfully", r.stdout)
        r = self.ntfs3g(dev)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertIn("fuse-t:/Win on /Volumes/Win (nfs, nodev, nosuid, mounted by root)", self.mount_lines())

    def test_ntfsfix_cannot_repair_hibernation(self):
        dev = self.attach_unmounted("hibernated")
        r = self.run_in(["/usr/local/bin/ntfsfix", "-d", "/dev/" + dev], user=ROOT)
        self.assertEqual(r.returncode, 1)
        self.assertIn("Windows is hibernated, refused to mount.", r.stdout + r.stderr)
        r = self.ntfs3g(dev)
        self.assertIn("Falling back to read-only mount", r.stderr)

    def test_unclean_and_dirty_mount_read_write(self):
        for state in ("unclean", "dirty"):
            dev = self.attach_unmounted(state)
            r = self.ntfs3g(dev, name=state)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("fuse-t:/%s on /Volumes/%s (nfs, nodev, nosuid, mounted by root)" % (state, state),
                          self.mount_lines())


class UnmountAndYank(e2e.SimMacTestCase):
    def remount_read_write(self, dev, name):
        r = self.sh("/usr/sbin/diskutil unmount %s && mkdir -p /Volumes/%s && "
                    "/usr/local/bin/ntfs-3g /dev/%s /Volumes/%s -o volname=%s,local,noowners,noatime"
                    % (dev, name, dev, name, name), user=ROOT)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_busy_volume_dissent_then_unmount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        holder = self.mac.spawn(["/bin/sh", "-c", "cd /Volumes/Data && exec sleep 60"])
        self.addCleanup(holder.kill)
        self.mac.wait_for(lambda: os.path.exists("/proc/%d" % holder.pid) and
                          os.readlink("/proc/%d/cwd" % holder.pid) == "/Volumes/Data" and
                          os.readlink("/proc/%d/exe" % holder.pid).endswith("sleep"),
                          10, "the holder to sit in the volume")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "/Volumes/Data"])
        self.assertEqual(r.returncode, 1)
        self.assertRegex(r.stdout + r.stderr,
                         r"^Volume Data on disk4s1 failed to unmount: dissented by PID %d \(/usr/bin/sleep\)\n"
                         r"Dissenter parent PPID \d+ \(.+\)\n$" % holder.pid)
        holder.kill()
        holder.wait(10)
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "disk4s1"])
        self.assertEqual((r.returncode, r.stdout), (0, "Volume Data on disk4s1 unmounted\n"), r.stderr)
        self.assertFalse(os.path.exists(self.mac.host_path("/Volumes/Data")), "the mount point stayed")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "disk4s1"])
        self.assertEqual(r.returncode, 1)
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "/Volumes/Nothing"])
        self.assertEqual((r.returncode, r.stderr), (1, "Unmount failed for /Volumes/Nothing\n"))

    def test_force_unmount_of_a_busy_volume(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        holder = self.mac.spawn(["/bin/sh", "-c", "cd /Volumes/Data && exec sleep 60"])
        self.addCleanup(holder.kill)
        self.mac.wait_for(lambda: os.readlink("/proc/%d/cwd" % holder.pid) == "/Volumes/Data", 10, "the holder")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "force", "disk4s1"])
        self.assertEqual((r.returncode, r.stdout), (0, "Volume Data on disk4s1 force-unmounted\n"), r.stderr)
        self.assertFalse(any(" on /Volumes/Data " in l for l in self.mount_lines()))

    def test_diskutil_mount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data", "mount": False},
                                    {"fs": "fat32", "name": "STICK", "mount": False}])

        def mount(target, user="alice"):
            r = self.run_in(["/usr/sbin/diskutil", "mount", target], user=user)
            return r.returncode, r.stdout, r.stderr

        self.assertEqual(mount("disk4s1"), (0, "Volume Data on disk4s1 mounted\n", ""))
        self.assertEqual(mount("/dev/disk4s1", user=ROOT), (0, "Volume Data on disk4s1 mounted\n", ""))
        self.assertEqual(mount("disk4s2"), (0, "Volume STICK on disk4s2 mounted\n", ""))
        lines = [l for l in self.mount_lines() if l.startswith("/dev/disk4")]
        self.assertEqual(lines, ["/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)",
                                 "/dev/disk4s2 on /Volumes/STICK (msdos, local, nodev, nosuid, noowners)"])
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", "disk4s1"]).stdout.encode())
        self.assertEqual(info["MountPoint"], "/Volumes/Data")
        self.assertEqual(mount("disk9s1"), (1, "", "Unable to find disk for disk9s1\n"))
        code, _, text = mount("disk4")
        self.assertEqual(code, 1)
        self.assertTrue(text.startswith("Volume on disk4 failed to mount"), text)
        # Served read-write by another ntfs-3g, the volume cannot be mounted again.
        self.remount_read_write("disk4s1", "Data")
        code, _, text = mount("disk4s1")
        self.assertEqual((code, text.splitlines()[0]), (1, "Volume on disk4s1 failed to mount"))
        self.assertEqual(len(text.splitlines()), 2, text)
        self.assertEqual(self.sh("ls /Volumes").stdout, "Data\nMacintosh HD\nSTICK\n")

    def test_yank_leaves_a_dead_mount(self):
        d = self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "ntfs", "name": "Other"}])
        self.remount_read_write("disk4s1", "Data")
        self.assertEqual(self.sh("echo kept > /Volumes/Data/f && cat /Volumes/Data/f").stdout, "kept\n")
        nfs_line = "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid, mounted by root)"
        self.assertIn(nfs_line, self.mount_lines())
        self.mac.yank(d["id"])
        lines = self.mount_lines()
        self.assertIn(nfs_line, lines)
        self.assertFalse(any("/Volumes/Other" in l for l in lines), lines)
        self.assertFalse(os.path.exists(self.mac.host_path("/Volumes/Other")))
        with self.assertRaises(OSError) as ctx:
            os.stat(self.mac.host_path("/Volumes/Data"))
        self.assertEqual(ctx.exception.errno, errno.ENOTCONN)
        r = self.sh("stat /Volumes/Data")
        self.assertIn("Transport endpoint is not connected", r.stderr)
        r = self.sh("ls /dev | grep disk4; /usr/sbin/diskutil list -plist | grep -c disk4")
        self.assertEqual(r.stdout, "0\n")
        self.assertEqual(self.run_in(["/usr/sbin/diskutil", "info", "-plist", "/Volumes/Data"]).returncode, 1)
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "force", "/Volumes/Data"])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn(nfs_line, self.mount_lines())

    def test_a_stopped_server_and_umount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        self.remount_read_write("disk4s1", "Data")
        [server] = [p for p, argv in self.mac.processes() if argv[-1].startswith("volname=Data,")]
        os.kill(server, signal.SIGSTOP)
        started = time.monotonic()
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "force", "/Volumes/Data"])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertLess(time.monotonic() - started, 5, "diskutil waited for a stopped server")
        os.kill(server, signal.SIGCONT)
        # A share, and /sbin/umount: root's alone, even when forced.
        self.sh("mkdir /Volumes/Share && mount -t tmpfs server:/export /Volumes/Share", user=ROOT, check=True)
        self.assertIn("server:/export on /Volumes/Share (nfs, nodev, nosuid)", self.mount_lines())
        r = self.run_in(["/sbin/umount", "-f", "/Volumes/Share"])
        self.assertEqual((r.returncode, r.stderr), (1, "umount: unmount(/Volumes/Share): Operation not permitted\n"))
        self.assertEqual(self.run_in(["/sbin/umount", "-f", "/Volumes/Share"], user=ROOT).returncode, 0)
        r = self.run_in(["/sbin/umount", "/Volumes/Share"], user=ROOT)
        self.assertEqual((r.returncode, r.stderr), (1, "umount: /Volumes/Share: not currently mounted\n"))


class Processes(e2e.SimMacTestCase):
    def ps(self, *args):
        r = self.run_in(["/bin/ps"] + list(args))
        return r.returncode, r.stdout

    def test_ps_shows_this_macs_processes_but_not_the_system_daemons(self):
        st = os.stat(self.mac.host_path("/bin/ps"))
        self.assertTrue(st.st_mode & 0o4000 and st.st_uid == 0, "/bin/ps is not setuid root")
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "fat32", "name": "STICK"},
                                    {"fs": "ntfs", "name": "Other", "mount": False}])
        ntfs3g = ["/usr/local/bin/ntfs-3g", "/dev/disk4s3", "/Volumes/Other", "-o",
                  "volname=Other,local,noowners,noatime"]
        r = self.sh("mkdir /Volumes/Other && " + " ".join(ntfs3g), user=ROOT)
        self.assertEqual(r.returncode, 0, r.stderr)
        sleeper = self.mac.spawn(["/bin/sleep", "600"])
        system = {rec["pid"] for rec in self.mac.state()["system_mounts"]}
        self.assertEqual(len(system), 2)
        daemon = [p for p, argv in self.mac.processes() if argv == ntfs3g]
        self.assertEqual(len(daemon), 1, self.mac.processes())
        self.assertTrue(system <= {p for p, _ in self.mac.processes()})

        code, out = self.ps("-A", "-ww", "-o", "pid=,args=")
        self.assertEqual(code, 0)
        for line in out.splitlines():
            self.assertRegex(line, r"^ *\d{5,} \S|^ {0,4}\d{1,5} \S")
        listed = {int(l.split(None, 1)[0]): l.split(None, 1)[1] for l in out.splitlines()}
        self.assertEqual(listed[daemon[0]], " ".join(ntfs3g))
        self.assertEqual(listed[sleeper.pid], "/bin/sleep 600")
        self.assertIn("/bin/ps -A -ww -o pid=,args=", listed.values())
        self.assertFalse(system & set(listed), "the system's daemons are kernel file systems on a Mac")
        self.assertNotIn(self.mac.meta["anchor_pid"], listed)
        self.assertNotIn(os.getpid(), listed)
        self.assertFalse([a for a in listed.values() if "python" in a or "simlib" in a], listed)

        code, out = self.ps("-axww", "-o", "pid,args")
        self.assertEqual(out.splitlines()[0], "  PID ARGS")
        code, out = self.ps("-p", str(sleeper.pid), "-o", "command")
        self.assertEqual((code, out), (0, "COMMAND\n/bin/sleep 600\n"))
        code, out = self.ps("-p", "%d,%d" % (self.mac.meta["anchor_pid"], min(system)), "-o", "pid=")
        self.assertEqual((code, out), (1, ""))
        code, out = self.ps("-A", "-o", "pid=,args=")        # no -w: cut at 79 columns
        self.assertEqual(max(len(l) for l in out.splitlines()), 79)
        code, out = self.ps("-A", "-o", "pid,bogus")
        self.assertEqual(code, 1)


class Faults(e2e.SimMacTestCase):
    def test_diskutil_and_mount_faults(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        diskutil = "/usr/sbin/diskutil"
        self.mac.set_fault("diskutil", "fail", verbs=["list", "information"])
        for user in ("alice", ROOT):
            r = self.run_in([diskutil, "list", "-plist"], user=user)
            self.assertEqual((r.returncode, r.stdout, r.stderr),
                             (1, "", "Unable to run because unable to use the DiskManagement framework.\n"))
            self.assertEqual(self.run_in([diskutil, "info", "disk4s1"], user=user).returncode, 1)
        self.assertEqual(self.run_in([diskutil, "unmount", "disk4s1"]).returncode, 0)   # not a faulty verb
        self.mac.set_fault("diskutil", "garbage")
        r = self.run_in([diskutil, "list", "-plist"])
        self.assertEqual(r.returncode, 0)
        self.assertTrue(r.stdout.startswith("<?xml"))
        with self.assertRaises(Exception):
            plistlib.loads(r.stdout.encode())
        r = self.run_in([diskutil, "mount", "disk4s1"])
        self.assertEqual(r.returncode, 0)
        self.assertNotIn("mounted", r.stdout)
        self.assertFalse(any("disk4s1" in l for l in self.mount_lines()), "a faulty run did something")
        self.mac.set_fault("diskutil", "hang", verbs=["list"])
        hung = self.mac.spawn([diskutil, "list"])
        self.mac.wait_for(lambda: waits_for_the_user(hung.pid), 10, "diskutil to hang")
        self.assertEqual(self.run_in([diskutil, "info", "disk4"]).returncode, 0)
        self.assertIsNone(hung.poll())
        self.assertEqual(self.sh("kill %d" % hung.pid).returncode, 0)    # the caller may end it
        self.assertEqual(hung.wait(10), -15)
        self.mac.set_fault("diskutil", "off")
        self.assertEqual(self.run_in([diskutil, "list"]).returncode, 0)

        for mode, want in (("fail", (1, "", "mount: getmntinfo: Input/output error\n")), ("garbage", None)):
            self.mac.set_fault("mount", mode)
            r = self.run_in(["/sbin/mount"], user=ROOT)
            if want:
                self.assertEqual((r.returncode, r.stdout, r.stderr), want)
            else:
                self.assertEqual(r.returncode, 0)
                self.assertFalse([l for l in r.stdout.splitlines() if " on / (" in l], r.stdout)
        self.mac.set_fault("mount", "hang")
        hung = self.mac.spawn(["/sbin/mount"])
        self.mac.wait_for(lambda: waits_for_the_user(hung.pid), 10, "mount to hang")
        self.assertIsNone(hung.poll())
        with self.assertRaises(e2e.SimError):
            self.mac.set_fault("mount", "hang", verbs=["list"])
        self.mac.set_fault("mount", "off")
        self.assertIn("/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)", self.mount_lines())
        # A hung program left running is ended with the environment (Teardown checks that nothing stays).


class Caffeinate(e2e.SimMacTestCase):
    def test_waits_for_the_process_and_obeys_sigterm(self):
        r = self.sh("sleep 0.5 & /usr/bin/caffeinate -i -m -w $! && echo done")
        self.assertEqual(r.stdout, "done\n", r.stderr)
        caf = self.mac.spawn(["/usr/bin/caffeinate", "-i", "-m", "-w", "1"])
        self.mac.wait_for(lambda: self.mac.audit("caffeinate")[1:], 10, "caffeinate to start")
        self.assertEqual(caf.poll(), None)
        self.assertEqual(os.stat("/proc/%d" % caf.pid).st_uid, 501)
        r = self.sh("kill -TERM %d" % caf.pid)   # the user may end it: it is not setuid
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(caf.wait(10), -15)
        self.assertEqual([e["argv"] for e in self.mac.audit("caffeinate")][1], ["-i", "-m", "-w", "1"])


def inhibitor_lock(socket_path):
    """Takes a delay lock for sleep from logind over the bus at socket_path, as
    a program would; returns the descriptor that holds it."""
    with dbus_wire.connect(socket_path) as bus:
        bus.settimeout(10)
        bus.sendall(dbus_wire.message(dbus_wire.METHOD_CALL, 2, {
            dbus_wire.PATH: "/org/freedesktop/login1", dbus_wire.INTERFACE: "org.freedesktop.login1.Manager",
            dbus_wire.MEMBER: "Inhibit", dbus_wire.DESTINATION: "org.freedesktop.login1"},
            [("s", "sleep"), ("s", "selftest"), ("s", "to see simmac sleep wait"), ("s", "delay")]))
        while True:     # until the answer, which carries the descriptor
            data, ancillary, _, _ = bus.recvmsg(4096, socket.CMSG_SPACE(4))
            assert data, "the bus hung up"
            for level, kind, fd in ancillary:
                if (level, kind) == (socket.SOL_SOCKET, socket.SCM_RIGHTS):
                    return struct.unpack("i", fd[:4])[0]


class SleepAndWake(e2e.SimMacTestCase):
    def test_system_bus_with_loginds_notices_and_locks(self):
        r = self.run_in(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                         "org.freedesktop.DBus.ListNames"])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn('string "org.freedesktop.login1"', r.stdout)
        monitor = self.mac.spawn(["dbus-monitor", "--system", "interface=org.freedesktop.login1.Manager"], user=ROOT)
        self.mac.wait_for(lambda: "member=NameLost" in monitor.output(), 10, "dbus-monitor to listen")
        self.assertEqual(self.mac.inhibitors(), 0)
        self.assertLess(self.mac.sleep(), 2.0)       # no lock to wait for (logind would wait up to 5 s)
        self.mac.wake()
        lock = inhibitor_lock(self.mac.host_path("/run/dbus/system_bus_socket"))
        self.assertEqual(self.mac.inhibitors(), 1)
        started = time.monotonic()
        self.assertIsNone(self.mac.sleep(delay_max=0.5))       # held: logind's delay runs out
        self.assertGreaterEqual(time.monotonic() - started, 0.5)
        self.mac.wake()
        os.close(lock)
        self.assertLess(self.mac.sleep(), 2.0)
        self.mac.wake()
        self.mac.wait_for(lambda: monitor.output().count("member=PrepareForSleep") == 6, 10, "the notices")
        notices = re.findall(r"member=PrepareForSleep\n +boolean (\w+)", monitor.output())
        self.assertEqual(notices, ["true", "false"] * 3)
        self.assertEqual(self.mac.pids(), [monitor.pid])    # the bus and logind are the simulator's own
        listed = self.run_in(["/bin/ps", "-A", "-o", "args="]).stdout.splitlines()
        self.assertEqual(listed, ["dbus-monitor --system interface=org.freedesktop.login1.Manager", "/bin/ps -A -o args="])


def loop_devices():
    out = set()
    for name in os.listdir("/sys/block"):
        try:
            with open("/sys/block/%s/loop/backing_file" % name) as f:
                out.add((name, f.read().strip()))
        except OSError:
            pass
    return out


def host_mounts():
    with open("/proc/mounts") as f:
        return set(f.read().splitlines())


class Teardown(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        lifecycle.preflight(need_fat=True, need_exfat=True)

    def test_stop_leaves_nothing_behind(self):
        mounts, loops = host_mounts(), loop_devices()
        mac = SimMac()
        try:
            started = time.monotonic()
            mac.start()
            start_s = time.monotonic() - started
            mac.attach(scheme="gpt", partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "fat32", "name": "F"},
                                                 {"fs": "ntfs", "name": "Hib", "state": "hibernated"}])
            mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])
            r = mac.run(["/bin/sh", "-c", "/usr/sbin/diskutil unmount disk4s1 && mkdir /Volumes/Data && "
                         "/usr/local/bin/ntfs-3g /dev/disk4s1 /Volumes/Data"], user=ROOT)
            self.assertEqual(r.returncode, 0, r.stderr)
            mac.spawn(["/bin/sh", "-c", "cd /Volumes/Data && exec sleep 600"])
            mac.spawn(["/usr/bin/caffeinate", "-i", "-m", "-w", "1"])
            mac.set_fault("diskutil", "hang")
            mac.spawn(["/usr/sbin/diskutil", "list"])
            self.assertGreater(len(loop_devices() - loops), 0, "exFAT should sit on a loop device")
            ino, state_dir = mac.meta["ns_inode"], mac.state_dir
            self.mac_wait(lambda: len(mac.pids()) >= 7, "the daemons and the three programs")
        finally:
            stopped = time.monotonic()
            mac.stop()
            stop_s = time.monotonic() - stopped
        self.assertEqual(lifecycle.procs.pids_in_namespace(ino), [])
        self.assertEqual([p for p in lifecycle.procs.all_pids()
                          if state_dir in " ".join(lifecycle.procs.cmdline(p))], [])
        self.assertEqual(host_mounts() - mounts, set())
        self.mac_wait(lambda: loop_devices() == loops, "the loop devices to go")
        self.assertFalse(os.path.exists(state_dir))
        print("\n    start %.2f s, stop %.2f s" % (start_s, stop_s), end=" ")

    def test_environment_ends_when_its_owner_dies(self):
        owner = subprocess.Popen(["sleep", "600"])
        mac = SimMac(owner=owner.pid)
        self.addCleanup(mac.stop)      # harmless on an environment that is gone
        try:
            mac.start()
            ino, anchor = mac.meta["ns_inode"], (mac.meta["anchor_pid"], mac.meta["anchor_start"])
            mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
            mac.spawn(["/bin/sleep", "600"])
        finally:
            owner.kill()
            owner.wait()
        self.mac_wait(lambda: not lifecycle.procs.pids_in_namespace(ino) and not lifecycle.procs.alive(*anchor),
                      "the namespace and its anchor to end")
        ended = lifecycle.sweep()
        self.assertIn(mac.state_dir, ended)
        self.assertFalse(os.path.exists(mac.state_dir))

    def test_start_twice_fails_clearly(self):
        mac = SimMac().start()
        try:
            with self.assertRaises(e2e.SimError) as ctx:
                SimMac(mac.state_dir).start()
            self.assertIn("already running", str(ctx.exception))
        finally:
            mac.stop()

    @staticmethod
    def mac_wait(cond, what):
        SimMac.wait_for(cond, 20, what)


if __name__ == "__main__":
    e2e.main()
