#!/usr/bin/python3 -I
"""/usr/sbin/diskutil of the simulated Mac: list, info, mount and unmount.

Runs as root behind the setuid shim (mounting and unmounting need it; on a
Mac the console user may mount and unmount external volumes through
diskutil).

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


def out(text):
    sys.stdout.write(text)


def err(text):
    sys.stderr.write(text)


def device_name(target):
    m = DEVICE.match(target)
    return m.group(1) if m else None


def normal_path(target):
    return os.path.normpath(target) if target.startswith("/") else os.path.normpath(os.path.abspath(target))


def write_plist(obj):
    sys.stdout.flush()
    sys.stdout.buffer.write(plistlib.dumps(obj, fmt=plistlib.FMT_XML, sort_keys=True))
    sys.stdout.buffer.flush()


# --- list ----------------------------------------------------------------------

def cmd_list(args):
    plist = "-plist" in args
    rest = [a for a in args if a != "-plist"]
    st = StateFile().read()
    data = diskinfo.list_plist(st)
    wanted = None
    for a in rest:
        if a in ("internal", "external", "physical", "virtual"):
            continue
        wanted = device_name(a)
        if wanted is None:
            err("Could not find disk: %s\n" % a)
            return 1
    if wanted:
        data["AllDisksAndPartitions"] = [d for d in data["AllDisksAndPartitions"]
                                         if d["DeviceIdentifier"] == wanted]
        if not data["AllDisksAndPartitions"]:
            err("Could not find disk: %s\n" % wanted)
            return 1
    if plist:
        write_plist(data)
    else:
        out(list_text(data))
    return 0


def _size(n):
    for unit, div in (("TB", 1e12), ("GB", 1e9), ("MB", 1e6), ("KB", 1e3)):
        if n >= div:
            return "%.1f %s" % (n / div, unit)
    return "%d B" % n


def list_text(data):
    lines = []
    for d in data["AllDisksAndPartitions"]:
        dev = d["DeviceIdentifier"]
        where = "internal, physical" if dev == "disk0" else \
            "synthesized" if dev == "disk3" else "external, physical"
        lines.append("/dev/%s (%s):" % (dev, where))
        lines.append("   #:%27s %-24s %10s   %s" % ("TYPE", "NAME", "SIZE", "IDENTIFIER"))
        content = d.get("Content", "")
        if dev == "disk3":
            content = "APFS Container Scheme"
        lines.append("   0:%27s %-24s %10s   %s" % (content, d.get("VolumeName", "") if "Partitions" not in d else "",
                                                   "*" + _size(d["Size"]), dev))
        subs = d.get("Partitions") or d.get("APFSVolumes") or []
        for i, p in enumerate(subs, 1):
            typ = "APFS Volume" if dev == "disk3" else p.get("Content", "")
            lines.append("   %d:%27s %-24s %10s   %s" % (i, typ, p.get("VolumeName", ""), _size(p["Size"]),
                                                        p["DeviceIdentifier"]))
        lines.append("")
    return "\n".join(lines) + "\n"


# --- info ----------------------------------------------------------------------

def cmd_info(args):
    plist = "-plist" in args
    rest = [a for a in args if a != "-plist"]
    if len(rest) != 1:
        err("Usage:  diskutil info[rmation] [-plist] MountPoint|DiskIdentifier|DeviceNode\n")
        return 1
    target = rest[0]
    st = StateFile().read()
    desc = describe(st, target)
    if desc is None:
        # Only devices and the mount points of disks are known: a folder
        # inside a volume, or a network (FUSE-T, NFS) mount, is not.
        msg = "Could not find disk: %s" % target
        if plist:
            write_plist({"Error": True, "ErrorMessage": msg, "ExitCode": 1})
        else:
            err(msg + "\n")
        return 1
    if plist:
        write_plist(desc)
    else:
        out(info_text(desc))
    return 0


def describe(st, target):
    dev = device_name(target)
    if dev is None:
        mp = normal_path(target)
        rec = mounttab.system_mount_at(st, mp)
        if rec:
            dev = rec["device"]
        else:
            dev = diskinfo.internal_device_at(mp)
        if dev is None:
            return None
    found = diskinfo.find_device(st, dev)
    if found:
        return diskinfo.info_external(st, *found)
    return diskinfo.info_internal(dev)


INFO_LINES = [("Device Identifier", "DeviceIdentifier"), ("Device Node", "DeviceNode"),
              ("Whole", "WholeDisk"), ("Part of Whole", "ParentWholeDisk"), ("Volume Name", "VolumeName"),
              ("Mounted", None), ("Mount Point", "MountPoint"), ("Partition Type", "Content"),
              ("File System Personality", "FilesystemName"), ("Type (Bundle)", "FilesystemType"),
              ("Name (User Visible)", "FilesystemUserVisibleName"), ("Volume UUID", "VolumeUUID"),
              ("Disk / Partition UUID", "DiskUUID"), ("Protocol", "BusProtocol"),
              ("Disk Size", "Size"), ("Media Read-Only", None), ("Volume Read-Only", None)]


def info_text(d):
    lines = []
    for label, key in INFO_LINES:
        if label == "Mounted":
            v = "Yes" if d.get("MountPoint") else "No"
        elif label == "Media Read-Only":
            v = "No" if d.get("WritableMedia") else "Yes"
        elif label == "Volume Read-Only":
            if not d.get("MountPoint"):
                continue
            v = "No" if d.get("WritableVolume") else "Yes"
        elif key not in d:
            continue
        else:
            v = d[key]
            if isinstance(v, bool):
                v = "Yes" if v else "No"
            elif isinstance(v, int):
                v = "%s (%d Bytes)" % (_size(v), v)
        lines.append("   %-33s%s" % (label + ":", v))
    return "\n".join(lines) + "\n\n"


# --- mount -----------------------------------------------------------------------

def cmd_mount(args):
    """Mounts a volume as the system does when its disk arrives. A volume the
    system has mounted already is reported as mounted, and not mounted twice."""
    if len(args) != 1:
        err("Usage:  diskutil mount DiskIdentifier|DeviceNode\n")
        return 1
    target = args[0]
    dev = device_name(target)
    st = StateFile().read()
    found = diskinfo.find_device(st, dev) if dev else None
    if found is None:
        internal = diskinfo.info_internal(dev) if dev else None
        if internal is None:
            err("Unable to find disk for %s\n" % target)
            return 1
        if internal.get("MountPoint"):
            out("Volume %s on %s mounted\n" % (internal["VolumeName"], dev))
            return 0
        return mount_failed(dev)
    disk, part = found
    if part is None:
        err('Volume on %s failed to mount; if it has a partitioning scheme, use "diskutil mountDisk"\n' % dev)
        return 1
    try:
        disks.system_mount(part)
    except (RuntimeError, OSError, waiting.Timeout):
        return mount_failed(part["id"])
    out("Volume %s on %s mounted\n" % (part.get("name") or "(null)", part["id"]))
    return 0


def mount_failed(dev):
    err('Volume on %s failed to mount\nIf the volume is damaged, try the "readOnly" option\n' % dev)
    return 1


# --- unmount ---------------------------------------------------------------------

def cmd_unmount(args):
    force = bool(args) and args[0] == "force"
    if force:
        args = args[1:]
    if len(args) != 1:
        err("Usage:  diskutil unmount [force] MountPoint|DiskIdentifier|DeviceNode\n")
        return 1
    target = args[0]
    sf = StateFile()
    st = sf.read()
    dev = device_name(target)
    if dev is not None:
        found = diskinfo.find_device(st, dev)
        if found is None:
            err("Unmount failed for %s\n" % target)
            return 1
        disk, part = found
        rec = mounttab.system_mount_of_device(st, dev)
        if part is None or rec is None:
            # A partitioned whole disk, or a volume that is not mounted.
            err("%s was already unmounted or it has a partitioning scheme so use "
                "\"diskutil unmountDisk\" instead\n" % dev)
            return 1
        return unmount_volume(sf, rec, part, force)
    mp = normal_path(target)
    rec = mounttab.system_mount_at(st, mp)
    if rec is not None:
        disk, part = diskinfo.find_device(st, rec["device"])
        return unmount_volume(sf, rec, part, force)
    m = mounttab.mounted_at(mp)
    if m is None or mounttab.is_plumbing(m, mounttab.plumbing()) or mp.startswith("/System"):
        err("Unmount failed for %s\n" % target)
        return 1
    # A mount that is not a disk's (ntfs-3g through FUSE-T is an NFS mount):
    # diskutil answers such a path in its short form.
    r = volumes.unmount(mp, force=force)
    if r.ok:
        with sf.locked() as st2:
            st2["user_mounts"].pop(mp, None)
        out("Unmount successful for %s\n" % target)
        return 0
    err("Unmount failed for %s\n" % target)
    return 1


def unmount_volume(sf, rec, part, force):
    name = part.get("name") or "(null)"
    r = volumes.unmount(rec["mount_point"], force=force, record=rec)
    if r.ok:
        with sf.locked() as st:
            st["system_mounts"] = [x for x in st["system_mounts"] if x != rec]
            mounttab.prune_system_mounts(st)
        out("Volume %s on %s %s\n" % (name, part["id"], "force-unmounted" if force else "unmounted"))
        return 0
    if r.holders:
        pid = r.holders[0]
        parent = procs.ppid(pid) or 1
        err("Volume %s on %s failed to unmount: dissented by PID %d (%s)\n"
            "Dissenter parent PPID %d (%s)\n" % (name, part["id"], pid, _program(pid), parent, _program(parent)))
    else:
        err("Volume %s on %s failed to unmount: %s\n" % (name, part["id"], r.why))
    return 1


def _program(pid):
    if pid == 1:
        return "/sbin/launchd"
    return procs.exe(pid) or "?"


# --- main ---------------------------------------------------------------------------

VERBS = {"list": cmd_list, "info": cmd_info, "information": cmd_info, "mount": cmd_mount,
         "unmount": cmd_unmount, "umount": cmd_unmount}


def main(argv):
    audit.take_caller()
    args = argv[1:]
    audit.record(os.environ.get("SIMMAC_PROG", "/usr/sbin/diskutil"), args)
    fault = faults.active("diskutil", args[0] if args else "", args[1:])
    if fault:
        return faults.act("diskutil", fault, plist="-plist" in args)
    if not args:
        out("Disk Utility Tool\nUtility to manage local disks and volumes\n"
            "Usage:  diskutil [quiet] <verb> <options>, where <verb> is as follows:\n\n"
            "     list                 (List the partitions of a disk)\n"
            "     info[rmation]        (Get information on a disk or partition)\n"
            "     mount                (Mount a single volume)\n"
            "     unmount              (Unmount a single volume)\n")
        return 0
    verb = VERBS.get(args[0])
    if verb is None:
        err('diskutil: did not recognize verb "%s"; type "diskutil" for a list\n' % args[0])
        return 1
    return verb(args[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
