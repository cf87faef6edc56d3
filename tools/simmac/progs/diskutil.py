#!/usr/bin/python3 -I
"""/usr/sbin/diskutil of the simulated Mac, for the forms Drivelark runs:

    diskutil list -plist
    diskutil info -plist DEVICE|MOUNTPOINT
    diskutil mount DEVICE
    diskutil unmount [force] DEVICE|MOUNTPOINT

Another verb gets the real program's answer to an unknown verb; another form
of these fails loudly. Runs as root behind the setuid shim (on a Mac the
console user may mount and unmount external volumes through diskutil).
Where the real program's choice of stream is not known, success goes to
standard output and failure to standard error; Drivelark reads both.
"""
import os
import plistlib
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, diskinfo, disks, faults, mounttab, procs, volumes, waiting  # noqa: E402
from simlib.state import StateFile  # noqa: E402

DEVICE = re.compile(r"^(?:/dev/)?r?(disk\d+(?:s\d+)*)$")


def fail(text):
    sys.stderr.write(text)
    return 1


def device_name(target):
    m = DEVICE.match(target)
    return m.group(1) if m else None


def write_plist(obj):
    sys.stdout.buffer.write(plistlib.dumps(obj, fmt=plistlib.FMT_XML, sort_keys=True))


def cmd_list(args):
    if args != ["-plist"]:
        return None
    write_plist(diskinfo.list_plist(StateFile().read()))
    return 0


def cmd_info(args):
    if len(args) != 2 or args[0] != "-plist":
        return None
    target, st = args[1], StateFile().read()
    dev = device_name(target)
    if dev is None:
        # Only devices and the mount points of disks are known: a folder inside a volume, or a
        # network (FUSE-T, NFS) mount, is not.
        rec = mounttab.system_mount(st, "mount_point", os.path.normpath(target))
        dev = rec["device"] if rec else None
    if diskinfo.is_internal(dev or os.path.normpath(target)):
        return fail("diskutil (simulated): only external disks are described, not %s\n" % target)
    found = diskinfo.find_device(st, dev) if dev else None
    if found is None:
        write_plist({"Error": True, "ErrorMessage": "Could not find disk: %s" % target, "ExitCode": 1})
        return 1
    write_plist(diskinfo.info_external(st, *found))
    return 0


def cmd_mount(args):
    """Mounts a volume as the system does when its disk arrives. A volume the system has mounted
    already is reported as mounted, and not mounted twice."""
    if len(args) != 1:
        return None
    dev = device_name(args[0])
    found = diskinfo.find_device(StateFile().read(), dev) if dev else None
    if diskinfo.is_internal(dev):
        return fail("diskutil (simulated): only external disks are mounted, not %s\n" % dev)
    if found is None:
        return fail("Unable to find disk for %s\n" % args[0])
    disk, part = found
    if part is None:
        return fail('Volume on %s failed to mount; if it has a partitioning scheme, use "diskutil mountDisk"\n' % dev)
    try:
        disks.system_mount(part)
    except (RuntimeError, OSError, waiting.Timeout):
        return fail('Volume on %s failed to mount\nIf the volume is damaged, try the "readOnly" option\n' % dev)
    sys.stdout.write("Volume %s on %s mounted\n" % (part.get("name") or "(null)", part["id"]))
    return 0


def cmd_unmount(args):
    force = args[:1] == ["force"]
    args = args[1:] if force else args
    if len(args) != 1:
        return None
    target, st = args[0], StateFile().read()
    dev = device_name(target)
    if dev is not None:
        found = diskinfo.find_device(st, dev)
        if found is None:
            return fail("Unmount failed for %s\n" % target)
        rec = mounttab.system_mount(st, "device", dev)
        if found[1] is None or rec is None:
            # A partitioned whole disk, or a volume that is not mounted.
            return fail('%s was already unmounted or it has a partitioning scheme so use "diskutil unmountDisk" '
                        'instead\n' % dev)
        return unmount_volume(rec, found[1], force)
    mp = os.path.normpath(target)
    rec = mounttab.system_mount(st, "mount_point", mp)
    if rec is not None:
        return unmount_volume(rec, diskinfo.find_device(st, rec["device"])[1], force)
    m = mounttab.mounted_at(mp)
    if m is None or mounttab.is_plumbing(m, mounttab.plumbing()) or mp.startswith("/System"):
        return fail("Unmount failed for %s\n" % target)
    # A mount that is not a disk's (ntfs-3g through FUSE-T is an NFS mount): diskutil answers such
    # a path in its short form.
    if not volumes.unmount(mp, force=force).ok:
        return fail("Unmount failed for %s\n" % target)
    sys.stdout.write("Unmount successful for %s\n" % target)
    return 0


def unmount_volume(rec, part, force):
    name = part.get("name") or "(null)"
    r = volumes.unmount(rec["mount_point"], force=force, record=rec)
    if r.ok:
        with StateFile().locked() as st:
            st["system_mounts"] = [x for x in st["system_mounts"] if x != rec]
            mounttab.prune_system_mounts(st)
        sys.stdout.write("Volume %s on %s %s\n" % (name, part["id"], "force-unmounted" if force else "unmounted"))
        return 0
    if not r.holders:
        return fail("Volume %s on %s failed to unmount: %s\n" % (name, part["id"], r.why))
    pid = r.holders[0]
    parent = procs.ppid(pid) or 1
    return fail("Volume %s on %s failed to unmount: dissented by PID %d (%s)\nDissenter parent PPID %d (%s)\n"
                % (name, part["id"], pid, program(pid), parent, program(parent)))


def program(pid):
    return "/sbin/launchd" if pid == 1 else procs.exe(pid) or "?"


VERBS = {"list": cmd_list, "info": cmd_info, "mount": cmd_mount, "unmount": cmd_unmount}


def main(argv):
    audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/usr/sbin/diskutil"), args)
    fault = faults.active("diskutil", args[0] if args else "", args[1:])
    if fault:
        return faults.act("diskutil", fault, plist="-plist" in args)
    verb = VERBS.get(args[0] if args else "")
    if verb is None:
        return fail('diskutil: did not recognize verb "%s"; type "diskutil" for a list\n' % (args or [""])[0])
    status = verb(args[1:])
    if status is None:
        return fail("diskutil (simulated): only list -plist, info -plist, mount and unmount [force] are simulated, "
                    "not %r\n" % args)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
