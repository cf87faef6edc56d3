"""Self-tests of the simulated Mac: that its programs print and fail as the real ones do, on real
NTFS images and the real ntfs-3g, that the forms it does not simulate fail loudly, and that it
leaves nothing behind. No Drivelark binary is needed."""
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
NTFS3G = "/bin/ntfs-3g"  # Debian's, as Drivelark's bundle carries it
SCRIPT = ["/usr/bin/osascript", "-e", "on run argv", "-e",
          "do shell script (item 1 of argv) with administrator privileges", "-e", "end run"]
STATEMENT = "12:74"  # the do shell script statement's place in AppleScript's messages


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


def waits_for_the_user(pid):
    """True while a setuid program waits with its real uid handed to the user (who may then
    signal it) and root kept as its effective uid."""
    try:
        with open("/proc/%d/status" % pid) as f:
            return next(l.split()[1:3] for l in f if l.startswith("Uid:")) == ["501", "0"]
    except OSError:
        return False


class Environment(e2e.SimMacTestCase):
    def test_the_mac_as_the_user_sees_it_and_the_host_untouched(self):
        watched = ["/usr/bin/sudo", "/etc/passwd", "/etc/group", "/etc/sudoers", "/usr/bin/mount", "/usr/bin/ps"]
        before = {p: sha256(p) for p in watched}
        r = self.sh("id -u; id -g; id -gn; echo $HOME; pwd; ls -A /Volumes; readlink /Volumes/*")
        self.assertEqual(r.stdout.splitlines(), ["501", "20", "staff", "/Users/alice", "/Users/alice",
                                                 "Macintosh HD", "/"], r.stderr)
        for path, owner, mode in (("/Users/alice", 501, 0o750), ("/dev/console", 501, 0o600),
                                  ("/Library/PrivilegedHelperTools", 0, 0o755)):
            st = os.stat(self.mac.host_path(path))
            self.assertEqual((st.st_uid, st.st_mode & 0o7777), (owner, mode), path)
        for prog in ("/usr/sbin/diskutil", "/sbin/mount", "/usr/bin/sudo", "/usr/bin/osascript", "/bin/ps"):
            st = os.stat(self.mac.host_path(prog))
            self.assertTrue(st.st_mode & 0o4000 and st.st_uid == 0, prog + " is not setuid root")
        for prog in ("/usr/bin/caffeinate", "/usr/sbin/lsof", "/sbin/umount", "/usr/bin/stat"):
            self.assertFalse(os.stat(self.mac.host_path(prog)).st_mode & 0o4000, prog + " must not be setuid")
        self.assertEqual(self.mount_lines()[0], "/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)")
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        self.sh("echo x > /etc/sudoers.d/probe; touch /usr/local/bin/x", user=ROOT, check=True)
        for path in ("/usr/sbin/diskutil", "/usr/sbin/lsof", "/etc/sudoers.d/probe", "/Volumes/Data"):
            self.assertFalse(os.path.exists(path), path)
        self.assertEqual({p: sha256(p) for p in watched}, before)

    def test_forms_that_are_not_simulated_fail_loudly(self):
        for argv in (["/usr/sbin/diskutil", "list"], ["/usr/sbin/diskutil", "info", "disk0"],
                     ["/bin/ps", "axww"], ["/bin/ps", "-A", "-o", "pid=,args="], ["/bin/ps", "-A", "-ww", "-o", "pid"],
                     ["/usr/bin/sudo", "/usr/bin/id"], ["/usr/bin/sudo", "-n", "-l", "/usr/bin/id"],
                     ["/usr/bin/osascript", "-e", 'do shell script "id"'], SCRIPT + ["id", "two"],
                     ["/usr/bin/caffeinate", "-i", "-w", "1"], ["/usr/bin/stat", "-f", "%z", "/"],
                     ["/sbin/mount", "-t", "tmpfs", "x", "/tmp"]):
            r = self.run_in(argv)
            self.assertEqual(r.returncode, 1, argv)
            self.assertIn("(simulated): only ", r.stderr, argv)
        r = self.run_in(["/usr/bin/stat", "-c", "%u", "/"])  # as BSD stat refuses it
        self.assertEqual((r.returncode, r.stderr.splitlines()[0]), (1, "stat: illegal option -- c"))
        self.assertEqual(self.run_in(["/usr/bin/stat", "-f%Su %u %Lp", "--", "/dev/console"]).stdout, "alice 501 600\n")


class Disks(e2e.SimMacTestCase):
    def test_listing_shape_and_argument_order(self):
        self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD", "mount": False}])
        self.mac.attach(scheme="none", partitions=[{"fs": "ntfs", "name": "Whole", "mount": False}])
        r = self.run_in(["/usr/sbin/diskutil", "list", "-plist"])
        data = plistlib.loads(r.stdout.encode())
        self.assertEqual(sorted(data), ["AllDisks", "AllDisksAndPartitions", "VolumesFromDisks", "WholeDisks"])
        self.assertEqual(data["WholeDisks"], ["disk0", "disk3", "disk4", "disk5"])
        disk3 = data["AllDisksAndPartitions"][1]
        self.assertEqual((disk3["Partitions"], disk3["APFSPhysicalStores"]), ([], [{"DeviceIdentifier": "disk0s2"}]))
        card, whole = data["AllDisksAndPartitions"][2:]
        self.assertEqual(card["Partitions"][0]["Content"], "Windows_NTFS")  # exFAT on MBR says so too
        self.assertNotIn("Partitions", whole)
        self.assertFalse([v for d in data["AllDisksAndPartitions"] for v in d.get("Partitions", [d])
                          if "FilesystemType" in v], "the listing names no file system")
        keys = re.findall(r"<key>(.*?)</key>", r.stdout.split("<array>")[0])
        self.assertEqual(keys, sorted(keys))
        r = self.run_in(["/usr/sbin/diskutil", "-plist", "list"])
        self.assertEqual((r.returncode, r.stderr),
                         (1, 'diskutil: did not recognize verb "-plist"; type "diskutil" for a list\n'))
        r = self.run_in(["/usr/sbin/diskutil", "info", "-plist", "/Volumes/Nothing"])
        self.assertEqual((r.returncode, plistlib.loads(r.stdout.encode())),
                         (1, {"Error": True, "ErrorMessage": "Could not find disk: /Volumes/Nothing", "ExitCode": 1}))

    def test_the_system_mounts_ntfs_read_only_through_ntfs3g_and_the_rest_read_write(self):
        ntfs = self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "ntfs", "name": "Data"},
                                           {"fs": "ntfs", "name": None}, {"fs": "ntfs", "name": "Macintosh HD"},
                                           {"fs": "fat32", "name": "STICK"}])
        card = self.mac.attach(scheme="mbr", partitions=[{"fs": "exfat", "name": "CARD"}])
        self.assertEqual([p["mount_point"] for p in ntfs["partitions"] + card["partitions"]],
                         ["/Volumes/" + n for n in ("Data", "Data 1", "Untitled", "Macintosh HD 1", "STICK", "CARD")])
        self.assertTrue([p for p in self.mac.pids() if (lifecycle.procs.exe(p) or "").endswith("/ntfs-3g")])
        lines = self.mount_lines()
        for line in ("/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)",
                     "/dev/disk4s4 on /Volumes/Macintosh HD 1 (ntfs, local, nodev, nosuid, read-only, noowners)",
                     "/dev/disk4s5 on /Volumes/STICK (msdos, local, nodev, nosuid, noowners)",
                     "/dev/disk5s1 on /Volumes/CARD (exfat, local, nodev, nosuid, noowners)"):
            self.assertIn(line, lines)
        r = self.sh("touch /Volumes/Data/x")
        self.assertIn("Read-only file system", r.stderr)
        r = self.sh("echo hi > /Volumes/STICK/a && echo ho > /Volumes/CARD/b && cat /Volumes/STICK/a /Volumes/CARD/b")
        self.assertEqual(r.stdout, "hi\nho\n", r.stderr)
        info = plistlib.loads(self.run_in(["/usr/sbin/diskutil", "info", "-plist", "disk4s1"]).stdout.encode())
        self.assertEqual((info["MountPoint"], info["FilesystemType"], info["WritableVolume"]),
                         ("/Volumes/Data", "ntfs", False))

    def test_raw_devices_open_for_writing_without_a_change_or_refuse(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Locked"}], raw_writes=False)
        images = [os.path.join(self.mac.var, "images", d + ".img") for d in ("disk4s1", "disk5s1")]
        before = [sha256(i) for i in images]
        r = self.sh("dd if=/dev/zero of=/dev/rdisk4s1 bs=1 count=0 && ! dd if=/dev/zero of=/dev/rdisk5s1 count=0",
                    user=ROOT)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Permission denied", r.stderr)
        self.assertEqual([sha256(i) for i in images], before)


class Sudo(e2e.SimMacTestCase):
    TOOL = "/Library/PrivilegedHelperTools/tool"

    def install_rule(self, text, name="drivelark"):
        # As Drivelark's installer does it: check, then install.
        self.mac.write_file("/tmp/rule", text, owner=ROOT)
        self.sh("visudo -c -f /tmp/rule && install -o root -g wheel -m 440 /tmp/rule /etc/sudoers.d/" + name,
                user=ROOT, check=True)

    def sudo(self, *args):
        r = self.run_in(["/usr/bin/sudo", "-n"] + list(args))
        return r.returncode, r.stdout, r.stderr

    def test_only_the_pinned_file_runs_without_a_password(self):
        refused = (1, "", "sudo: a password is required\n")
        self.assertEqual(self.sudo(self.TOOL), (1, "", "sudo: %s: command not found\n" % self.TOOL))
        self.mac.write_file(self.TOOL, "#!/bin/sh\nid -u; echo \"$@\"\n", owner=ROOT, mode=0o755)
        self.assertEqual(self.sudo(self.TOOL), refused)
        rule = "alice ALL=(root) NOPASSWD: sha256:%s %s\n" % (sha256(self.mac.host_path(self.TOOL)), self.TOOL)
        self.install_rule(rule, name="drivelark.new")  # sudo skips names with a '.'
        self.assertEqual(self.sudo(self.TOOL), refused)
        self.install_rule(rule)
        self.assertEqual(self.sudo(self.TOOL, "a b", "c"), (0, "0\na b c\n", ""))
        self.assertEqual(self.sudo("/usr/bin/id"), refused)
        self.assertEqual(self.run_in(["/usr/bin/sudo", "-n", "/usr/bin/id", "-u"], user=ROOT).stdout, "0\n")
        entry = self.mac.audit("sudo")[-3]
        self.assertEqual((entry["uid"], entry["argv"], entry["result"]), (501, ["-n", self.TOOL, "a b", "c"], "ran"))
        self.mac.write_file(self.TOOL, "#!/bin/sh\nid -u\n# changed\n", owner=ROOT, mode=0o755)
        self.assertEqual(self.sudo(self.TOOL), refused)
        self.install_rule("%admin ALL=(ALL) NOPASSWD: ALL\n", name="other")  # a form the installer never writes
        code, _, error = self.sudo(self.TOOL)
        self.assertEqual(code, 1)
        self.assertIn("sudo (simulated): /etc/sudoers.d/other holds a rule the simulated sudo cannot read", error)


class Osascript(e2e.SimMacTestCase):
    def test_the_command_as_an_argument_its_output_and_failures(self):
        payload = "it's “curly” \"q\" \\ $HOME\nend"
        command = "id -u; echo dropped >&2; printf '%s\\n\\n' '" + payload.replace("'", "'\\''") + "'"
        r = self.run_in(SCRIPT + [command])
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "0\r" + payload.replace("\n", "\r") + "\r\n", ""))
        self.assertEqual(self.mac.audit("osascript")[-1]["shell"], command)
        for command, message in (("echo out; echo err >&2; exit 3", "err (3)"), ("echo only-out; exit 4", "only-out (4)"),
                                 ("zzz", "/bin/sh: line 1: zzz: command not found (127)")):
            r = self.run_in(SCRIPT + [command])
            self.assertEqual((r.returncode, r.stdout, r.stderr), (1, "", "%s: execution error: %s\n" % (STATEMENT, message)))
        r = self.run_in(SCRIPT + ["-x /tmp/ran"])  # read as an option
        self.assertEqual((r.returncode, r.stderr.splitlines()[0]), (1, "osascript: illegal option -- x"))
        self.assertTrue(r.stderr.splitlines()[1].startswith("usage: osascript "), r.stderr)
        r = self.run_in(SCRIPT + ["(sleep 0.3; echo late) & echo early"])
        self.assertEqual(r.stdout, "early\rlate\n")

    def test_the_password_dialog(self):
        self.mac.set_answers(["cancel", "wrong", "cancel-after:0.4", "accept-after:60"])
        for message in ("User canceled. (-128)", "The administrator user name or password was incorrect. (-60007)"):
            r = self.run_in(SCRIPT + ["touch /tmp/ran"])
            self.assertEqual((r.returncode, r.stderr), (1, "%s: execution error: %s\n" % (STATEMENT, message)))
        started = time.monotonic()
        self.run_in(SCRIPT + ["touch /tmp/ran"])
        self.assertGreaterEqual(time.monotonic() - started, 0.4)
        # The dialog is open (counted) while the user thinks; the caller may give up and kill osascript.
        slow = self.mac.spawn(SCRIPT + ["touch /tmp/ran"])
        self.mac.wait_for(lambda: self.mac.prompt_count() == 4 and waits_for_the_user(slow.pid), 10, "the dialog")
        self.assertEqual(self.sh("kill %d" % slow.pid).returncode, 0)
        self.assertEqual(slow.wait(10), -15)
        self.assertFalse(os.path.exists(self.mac.host_path("/tmp/ran")))
        self.assertEqual(self.run_in(SCRIPT + ["id -u"]).stdout, "0\n")  # queue empty: the user accepts
        self.assertEqual([e["answer"] for e in self.mac.audit("osascript")], ["cancel", "wrong", "cancel", "accept"])
        self.assertEqual(self.mac.prompt_count(), 5)


class NtfsStates(e2e.SimMacTestCase):
    def test_the_real_ntfs3g_and_ntfsfix_on_the_states_windows_leaves(self):
        mount = "mkdir /Volumes/{0} && %s /dev/disk4s1 /Volumes/{0} -o volname={0},local,noowners,noatime" % NTFS3G
        for state, read_only, says, fix, fixed in (
                ("hibernated", True, "Windows is hibernated, refused to mount.", 1, "Windows is hibernated"),
                ("faststart", True, "Metadata kept in Windows cache, refused to mount.", 0, "processed successfully"),
                ("unclean", False, "wasn't safely closed on Windows. Fixing.", 0, "processed successfully"),
                ("dirty", False, None, 0, "processed successfully")):
            for run in ("ntfs-3g", "ntfsfix"):
                self.mac.attach(partitions=[{"fs": "ntfs", "name": state, "state": state, "mount": False}])
                if run == "ntfs-3g":
                    r = self.sh(mount.format(state), user=ROOT)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertIn(says, r.stderr) if says else self.assertEqual(r.stderr, "")
                    self.assertIn("fuse-t:/%s on /Volumes/%s (nfs, nodev, nosuid, %smounted by root)"
                                  % (state, state, "read-only, " if read_only else ""), self.mount_lines())
                else:
                    r = self.run_in(["/bin/ntfsfix", "-d", "/dev/disk4s1"], user=ROOT)
                    self.assertEqual(r.returncode, fix, r.stdout + r.stderr)
                    self.assertIn(fixed, r.stdout + r.stderr)
                self.mac.detach("disk4")


class Unmounting(e2e.SimMacTestCase):
    def remount_read_write(self):
        self.sh("/usr/sbin/diskutil unmount disk4s1 && mkdir /Volumes/Data && "
                "%s /dev/disk4s1 /Volumes/Data -o volname=Data,local,noowners,noatime" % NTFS3G, user=ROOT, check=True)

    def test_busy_volumes_dissent_force_unmounts_and_diskutil_mount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "fat32", "name": "STICK", "mount": False}])
        holder = self.mac.spawn(["/bin/sh", "-c", "cd /Volumes/Data && exec sleep 60"])
        self.mac.wait_for(lambda: os.readlink("/proc/%d/exe" % holder.pid).endswith("sleep"), 10, "the holder")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "/Volumes/Data"])
        self.assertRegex(r.stderr, r"^Volume Data on disk4s1 failed to unmount: dissented by PID %d \(/usr/bin/sleep\)\n"
                         r"Dissenter parent PPID \d+ \(.+\)\n$" % holder.pid)
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "force", "disk4s1"])
        self.assertEqual((r.returncode, r.stdout), (0, "Volume Data on disk4s1 force-unmounted\n"), r.stderr)
        holder.kill()
        holder.wait(10)
        self.assertFalse(os.path.exists(self.mac.host_path("/Volumes/Data")), "the mount point stayed")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "disk4s1"])
        self.assertEqual(r.returncode, 1)
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "/Volumes/Nothing"])
        self.assertEqual((r.returncode, r.stderr), (1, "Unmount failed for /Volumes/Nothing\n"))

        def mount(target, user="alice"):
            r = self.run_in(["/usr/sbin/diskutil", "mount", target], user=user)
            return r.returncode, r.stdout, r.stderr
        self.assertEqual(mount("disk4s1"), (0, "Volume Data on disk4s1 mounted\n", ""))
        self.assertEqual(mount("/dev/disk4s1", user=ROOT), (0, "Volume Data on disk4s1 mounted\n", ""))
        self.assertEqual(mount("disk4s2"), (0, "Volume STICK on disk4s2 mounted\n", ""))
        self.assertEqual(mount("disk9s1"), (1, "", "Unable to find disk for disk9s1\n"))
        self.assertTrue(mount("disk4")[2].startswith("Volume on disk4 failed to mount"))
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "disk4s1"])
        self.assertEqual((r.returncode, r.stdout), (0, "Volume Data on disk4s1 unmounted\n"), r.stderr)
        # Served read-write by another ntfs-3g, the volume cannot be mounted again.
        self.sh("mkdir /Volumes/Data && %s /dev/disk4s1 /Volumes/Data" % NTFS3G, user=ROOT, check=True)
        self.assertEqual(mount("disk4s1")[2], 'Volume on disk4s1 failed to mount\n'
                                              'If the volume is damaged, try the "readOnly" option\n')

    def test_a_yanked_disk_leaves_a_dead_mount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "ntfs", "name": "Other"}])
        self.remount_read_write()
        self.assertEqual(self.sh("echo kept > /Volumes/Data/f && cat /Volumes/Data/f").stdout, "kept\n")
        line = "fuse-t:/Data on /Volumes/Data (nfs, nodev, nosuid, mounted by root)"
        self.mac.yank("disk4")
        lines = self.mount_lines()
        self.assertIn(line, lines)
        self.assertFalse([l for l in lines if "/Volumes/Other" in l], lines)
        with self.assertRaises(OSError) as ctx:
            os.stat(self.mac.host_path("/Volumes/Data"))
        self.assertEqual(ctx.exception.errno, errno.ENOTCONN)
        self.assertEqual(self.sh("ls /dev | grep -c disk4; /usr/sbin/diskutil list -plist | grep -c disk4").stdout,
                         "0\n0\n")
        r = self.run_in(["/usr/sbin/diskutil", "unmount", "force", "/Volumes/Data"])
        self.assertEqual((r.returncode, r.stdout), (0, "Unmount successful for /Volumes/Data\n"), r.stderr)
        self.assertNotIn(line, self.mount_lines())

    def test_a_stopped_server_a_share_and_umount(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        self.remount_read_write()
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

    def test_ps_lists_this_macs_processes_as_they_were_called(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}, {"fs": "ntfs", "name": "Other", "mount": False}])
        ntfs3g = [NTFS3G, "/dev/disk4s2", "/Volumes/Other", "-o", "volname=Other,local,noowners,noatime"]
        self.sh("mkdir /Volumes/Other && " + " ".join(ntfs3g), user=ROOT, check=True)
        odd = self.mac.spawn(["/bin/sh", "-c", 'exec -a "$(printf "sleep \\351")" sleep 600'])
        caffeinate = self.mac.spawn(["/usr/bin/caffeinate", "-i", "-m", "-w", str(odd.pid)])
        [system] = [r["pid"] for r in self.mac.state()["system_mounts"]]
        daemon = [p for p, argv in self.mac.processes() if argv == ntfs3g]
        self.mac.wait_for(lambda: self.mac.audit("caffeinate") and lifecycle.procs.cmdline(odd.pid) == ["sleep \udce9", "600"],
                          10, "the programs")

        code, out = self.ps("-A", "-ww", "-o", "pid=,ppid=,uid=,args=")
        self.assertEqual(code, 0)
        # Right-aligned numbers: the arguments begin in one column.
        self.assertEqual(len({len(re.match(r"^(?: +\d+){3} ", " " + l).group(0)) for l in out.splitlines()}), 1, out)
        listed = {int(l.split()[0]): (int(l.split()[2]), l.split(None, 3)[3]) for l in out.splitlines()}
        self.assertEqual(listed[daemon[0]], (0, " ".join(ntfs3g)))
        self.assertEqual(listed[odd.pid], (501, "sleep \udce9 600"))  # the raw byte
        self.assertEqual(listed[caffeinate.pid], (501, "/usr/bin/caffeinate -i -m -w %d" % odd.pid))
        self.assertIn("/bin/ps -A -ww -o pid=,ppid=,uid=,args=", [args for _, args in listed.values()])
        self.assertNotIn(system, listed, "the system's daemons are kernel file systems on a Mac")
        self.assertNotIn(self.mac.meta["anchor_pid"], listed)
        self.assertFalse([a for _, a in listed.values() if "python" in a or "simlib" in a], listed)
        self.assertEqual(self.ps("-ww", "-p", str(odd.pid), "-o", "pid=,args="), (0, "%5d sleep \udce9 600\n" % odd.pid))
        self.assertEqual(self.ps("-ww", "-p", str(system), "-o", "pid="), (1, ""))
        # caffeinate holds on until its process ends, and the user may end it: it is not setuid.
        odd.kill()
        self.assertEqual(caffeinate.wait(10), 0)
        caffeinate = self.mac.spawn(["/usr/bin/caffeinate", "-i", "-m", "-w", str(daemon[0])])
        self.mac.wait_for(lambda: len(self.mac.audit("caffeinate")) == 2, 10, "caffeinate")
        self.assertEqual(self.sh("kill %d" % caffeinate.pid).returncode, 0)
        self.assertEqual(caffeinate.wait(10), -15)


class Faults(e2e.SimMacTestCase):
    def test_faulty_diskutil_and_mount_fail_or_hang_and_do_nothing_else(self):
        self.mac.attach(partitions=[{"fs": "ntfs", "name": "Data"}])
        diskutil = "/usr/sbin/diskutil"
        self.mac.set_fault("diskutil", "fail", verbs=["list", "info"])
        for user in ("alice", ROOT):
            r = self.run_in([diskutil, "list", "-plist"], user=user)
            self.assertEqual((r.returncode, r.stdout, r.stderr),
                             (1, "", "Unable to run because unable to use the DiskManagement framework.\n"))
        self.assertEqual(self.run_in([diskutil, "unmount", "disk4s1"]).returncode, 0)  # not a faulty verb
        self.mac.set_fault("diskutil", "fail", devices=["disk4s1"])
        self.assertEqual(self.run_in([diskutil, "mount", "disk4s1"]).returncode, 1)
        self.assertFalse([l for l in self.mount_lines() if "disk4s1" in l], "a faulty run did something")
        self.assertEqual(self.run_in([diskutil, "info", "-plist", "disk4"]).returncode, 0)
        self.mac.set_fault("mount", "fail")
        self.assertEqual(self.run_in(["/sbin/mount"]).stderr, "mount: getmntinfo: Input/output error\n")
        for prog, argv in (("diskutil", [diskutil, "list", "-plist"]), ("mount", ["/sbin/mount"])):
            self.mac.set_fault(prog, "hang")
            hung = self.mac.spawn(argv)
            self.mac.wait_for(lambda: waits_for_the_user(hung.pid), 10, prog + " to hang")
            self.assertEqual(self.sh("kill %d" % hung.pid).returncode, 0)  # the caller may end it
            self.assertEqual(hung.wait(10), -15)
            self.mac.set_fault(prog, "off")
        self.assertIn("/dev/disk3s1s1 on / (apfs, sealed, local, read-only, journaled)", self.mount_lines())


def inhibitor_lock(socket_path):
    """Takes a delay lock for sleep from logind over the bus at socket_path, as a program would;
    returns the descriptor that holds it."""
    with dbus_wire.connect(socket_path) as bus:
        bus.settimeout(10)
        bus.sendall(dbus_wire.message(dbus_wire.METHOD_CALL, 2, {
            dbus_wire.PATH: "/org/freedesktop/login1", dbus_wire.INTERFACE: "org.freedesktop.login1.Manager",
            dbus_wire.MEMBER: "Inhibit", dbus_wire.DESTINATION: "org.freedesktop.login1"},
            [("s", "sleep"), ("s", "selftest"), ("s", "to see simmac sleep wait"), ("s", "delay")]))
        while True:  # until the answer, which carries the descriptor
            data, ancillary, _, _ = bus.recvmsg(4096, socket.CMSG_SPACE(4))
            assert data, "the bus hung up"
            for level, kind, fd in ancillary:
                if (level, kind) == (socket.SOL_SOCKET, socket.SCM_RIGHTS):
                    return struct.unpack("i", fd[:4])[0]


class SleepAndWake(e2e.SimMacTestCase):
    def test_system_bus_with_loginds_notices_and_locks(self):
        monitor = self.mac.spawn(["dbus-monitor", "--system", "interface=org.freedesktop.login1.Manager"], user=ROOT)
        self.mac.wait_for(lambda: "member=NameLost" in monitor.output(), 10, "dbus-monitor to listen")
        self.assertLess(self.mac.sleep(), 2.0)  # no lock to wait for (logind would wait up to 5 s)
        self.mac.wake()
        lock = inhibitor_lock(self.mac.host_path("/run/dbus/system_bus_socket"))
        self.assertEqual(self.mac.inhibitors(), 1)
        started = time.monotonic()
        self.assertIsNone(self.mac.sleep(delay_max=0.5))  # held: logind's delay runs out
        self.assertGreaterEqual(time.monotonic() - started, 0.5)
        self.mac.wake()
        os.close(lock)
        self.assertLess(self.mac.sleep(), 2.0)
        self.mac.wake()
        self.mac.wait_for(lambda: monitor.output().count("member=PrepareForSleep") == 6, 10, "the notices")
        notices = re.findall(r"member=PrepareForSleep\n +boolean (\w+)", monitor.output())
        self.assertEqual(notices, ["true", "false"] * 3)
        self.assertEqual(self.mac.pids(), [monitor.pid])  # the bus and logind are the simulator's own
        listed = self.run_in(["/bin/ps", "-A", "-ww", "-o", "args="]).stdout.splitlines()
        self.assertEqual(listed, ["dbus-monitor --system interface=org.freedesktop.login1.Manager",
                                  "/bin/ps -A -ww -o args="])


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
        lifecycle.preflight()

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
            mac.run(["/bin/sh", "-c", "/usr/sbin/diskutil unmount disk4s1 && mkdir /Volumes/Data && "
                     "%s /dev/disk4s1 /Volumes/Data" % NTFS3G], user=ROOT, check=True)
            mac.spawn(["/bin/sh", "-c", "cd /Volumes/Data && exec sleep 600"])
            mac.spawn(["/usr/bin/caffeinate", "-i", "-m", "-w", "1"])
            mac.set_fault("diskutil", "hang")
            mac.spawn(["/usr/sbin/diskutil", "list", "-plist"])
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
        self.addCleanup(mac.stop)  # harmless on an environment that is gone
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
        self.assertIn(mac.state_dir, lifecycle.sweep())
        self.assertFalse(os.path.exists(mac.state_dir))

    @staticmethod
    def mac_wait(cond, what):
        SimMac.wait_for(cond, 20, what)


if __name__ == "__main__":
    e2e.main()
