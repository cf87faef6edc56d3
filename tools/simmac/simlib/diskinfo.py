"""What diskutil says about disks: the dictionaries of `diskutil list -plist`
and `diskutil info -plist`, built from the state (attached disks and the
system's live mounts) plus a fixed internal disk.

The internal disk is an Intel-style layout: disk0 (GPT) holds an EFI
partition and an Apple_APFS partition, whose container is disk3; disk1 and
disk2 are not used. plistlib writes keys in sorted order, as diskutil does.
"""
import os
import re
import uuid

from . import mounttab

GIB = 1024 ** 3
APFS_CONTAINER_CONTENT = "EF57347C-0000-11AA-AA11-00306543ECAC"
# (device, name, mount point or None, size); disk3s1's sealed snapshot disk3s1s1 is mounted at /.
APFS_VOLUMES = [
    ("disk3s1", "Macintosh HD", None, 10 * GIB),
    ("disk3s2", "Preboot", "/System/Volumes/Preboot", 1 * GIB),
    ("disk3s3", "Recovery", None, 1 * GIB),
    ("disk3s4", "Update", "/System/Volumes/Update", 2 * 1024 ** 2),
    ("disk3s5", "Macintosh HD - Data", "/System/Volumes/Data", 200 * GIB),
    ("disk3s6", "VM", "/System/Volumes/VM", 1 * GIB),
]
INTERNAL_SIZE = 500277790720
EFI_SIZE = 314572800
SCHEME_CONTENT = {"gpt": "GUID_partition_scheme", "mbr": "FDisk_partition_scheme"}
FS_NAMES = {  # FilesystemType -> (FilesystemName, FilesystemUserVisibleName)
    "ntfs": ("NTFS", "Windows NT File System (NTFS)"),
    "msdos": ("MS-DOS FAT32", "MS-DOS (FAT32)"),
    "exfat": ("ExFAT", "ExFAT"),
}


def _uuid(name):
    """A fixed identity, the same from run to run."""
    return str(uuid.uuid5(uuid.NAMESPACE_OID, name)).upper()


def _internal_disks(show_fstype):
    efi = {"Content": "EFI", "DeviceIdentifier": "disk0s1", "DiskUUID": _uuid("disk0s1"),
           "Size": EFI_SIZE, "VolumeName": "EFI", "VolumeUUID": _uuid("EFI")}
    apfs = {"Content": "Apple_APFS", "DeviceIdentifier": "disk0s2", "DiskUUID": _uuid("disk0s2"),
            "Size": INTERNAL_SIZE - EFI_SIZE - 40960}
    if show_fstype:
        efi["FilesystemType"], apfs["FilesystemType"] = "msdos", "apfs"
    disk0 = {"Content": "GUID_partition_scheme", "DeviceIdentifier": "disk0", "OSInternal": False,
             "Partitions": [efi, apfs], "Size": INTERNAL_SIZE}
    vols = [dict({"DeviceIdentifier": dev, "DiskUUID": _uuid(dev), "OSInternal": False, "Size": size,
                  "VolumeName": name, "VolumeUUID": _uuid(dev)}, **({"MountPoint": mp} if mp else {}))
            for dev, name, mp, size in APFS_VOLUMES]
    disk3 = {"APFSPhysicalStores": [{"DeviceIdentifier": "disk0s2"}], "APFSVolumes": vols,
             "Content": APFS_CONTAINER_CONTENT, "DeviceIdentifier": "disk3", "OSInternal": False,
             "Partitions": [], "Size": apfs["Size"]}
    return disk0, disk3


def attached_disks(state):
    return [d for _, d in sorted(state["disks"].items(), key=lambda kv: int(kv[0][4:]))
            if not d.get("pending")]


def _shows_fstype(state, disk=None):
    """FilesystemType in the listing's volume entries: most likely absent on
    a real Mac (the file system is in `diskutil info`), so off unless the
    scenario turns it on for all disks or for one."""
    v = disk.get("fstype_shown") if disk else None
    return bool(state.get("fstype_shown", False)) if v is None else v


def _volume_keys(part, mounts_by_dev):
    d = {"Content": part["content"], "DeviceIdentifier": part["id"], "Size": part["size"]}
    if part.get("name") is not None:
        d["VolumeName"] = part["name"]
    if part.get("uuid"):
        d["VolumeUUID"] = part["uuid"]
    rec = mounts_by_dev.get(part["id"])
    if rec:
        d["MountPoint"] = rec["mount_point"]
    return d


def list_plist(state):
    by_dev = {r["device"]: r for r in mounttab.live_system_mounts(state)}
    disk0, disk3 = _internal_disks(_shows_fstype(state))
    all_disks = ["disk0", "disk0s1", "disk0s2", "disk3"] + [v["DeviceIdentifier"] for v in disk3["APFSVolumes"]]
    whole = ["disk0", "disk3"]
    volumes = [v["VolumeName"] for v in disk3["APFSVolumes"] if v.get("MountPoint")]
    entries = [disk0, disk3]
    for disk in attached_disks(state):
        show = _shows_fstype(state, disk)
        whole.append(disk["id"])
        all_disks.append(disk["id"])
        if disk["scheme"] == "none":
            part = disk["partitions"][0]
            d = _volume_keys(part, by_dev)
            d["OSInternal"] = False
            d["Size"] = disk["size"]
            if show:   # shown on a whole-disk volume too, as on newer systems
                d["FilesystemType"] = part["filesystem_type"]
            entries.append(d)
        else:
            parts = []
            for part in disk["partitions"]:
                p = _volume_keys(part, by_dev)
                if part.get("part_uuid"):
                    p["DiskUUID"] = part["part_uuid"]
                if show:
                    p["FilesystemType"] = part["filesystem_type"]
                parts.append(p)
                all_disks.append(part["id"])
            entries.append({"Content": SCHEME_CONTENT[disk["scheme"]], "DeviceIdentifier": disk["id"],
                            "OSInternal": False, "Partitions": parts, "Size": disk["size"]})
        for part in disk["partitions"]:
            if part["id"] in by_dev:
                volumes.append(part.get("name") or "Untitled")
    return {"AllDisks": all_disks, "AllDisksAndPartitions": entries,
            "VolumesFromDisks": volumes, "WholeDisks": whole}


# --- diskutil info ---------------------------------------------------------------

def find_device(state, dev):
    """(disk, partition-or-None) for an attached device, else None."""
    for disk in attached_disks(state):
        if disk["id"] == dev:
            return disk, (disk["partitions"][0] if disk["scheme"] == "none" else None)
        for part in disk["partitions"]:
            if part["id"] == dev:
                return disk, part
    return None


def _free_space(mp):
    try:
        st = os.statvfs(mp)
        return st.f_bavail * st.f_frsize
    except OSError:
        return 0


def info_external(state, disk, part):
    """The description of an attached disk or volume."""
    live = {r["device"]: r for r in mounttab.live_system_mounts(state)}
    base = {
        "BusProtocol": "USB", "DeviceBlockSize": 512, "Ejectable": True, "Internal": False,
        "MediaName": "Generic Mass Storage", "MediaType": "Generic", "OSInternalMedia": False,
        "RemovableMedia": False, "RemovableMediaOrExternalDevice": True, "SolidState": False,
        "SupportsGlobalPermissionsDisable": part is not None, "SystemImage": False,
        "Virtual": False, "WritableMedia": True, "ParentWholeDisk": disk["id"],
    }
    if part is None:      # a partitioned whole disk
        base.update({"Content": SCHEME_CONTENT[disk["scheme"]], "DeviceIdentifier": disk["id"],
                     "DeviceNode": "/dev/" + disk["id"], "IOKitSize": disk["size"], "Size": disk["size"],
                     "TotalSize": disk["size"], "WholeDisk": True, "Writable": True,
                     "WritableVolume": False, "MountPoint": "", "VolumeName": "",
                     "PartitionMapPartition": False, "FreeSpace": 0})
        return base
    rec = live.get(part["id"])
    mp = rec["mount_point"] if rec else ""
    fstype = part["filesystem_type"]
    fsname, fsvisible = FS_NAMES[fstype]
    writable_volume = bool(rec) and fstype != "ntfs"   # the system mounts NTFS read-only
    base.update({
        "Content": part["content"], "DeviceIdentifier": part["id"], "DeviceNode": "/dev/" + part["id"],
        "FilesystemName": fsname, "FilesystemType": fstype, "FilesystemUserVisibleName": fsvisible,
        "FreeSpace": _free_space(mp) if mp else 0, "GlobalPermissionsEnabled": False,
        "IOKitSize": part["size"], "MountPoint": mp,
        "PartitionMapPartition": disk["scheme"] != "none", "Size": part["size"],
        "TotalSize": part["size"], "VolumeAllocationBlockSize": 4096, "VolumeName": part.get("name") or "",
        "VolumeSize": part["size"], "WholeDisk": disk["scheme"] == "none",
        "Writable": writable_volume, "WritableVolume": writable_volume,
    })
    if part.get("part_uuid"):
        base["DiskUUID"] = part["part_uuid"]
    if part.get("uuid"):
        base["VolumeUUID"] = part["uuid"]
    return base


def is_internal(name):
    """Whether name is a device or mount point of the internal disk, whose descriptions are not
    simulated."""
    return re.match(r"^disk[03](s\d+)*$", name or "") is not None or name in [v[2] for v in APFS_VOLUMES if v[2]] + ["/"]
