"""What diskutil says about disks: the dictionaries of `diskutil list -plist`
and `diskutil info -plist`, built from the state (attached disks and the
system's live mounts) plus a fixed internal disk.

The internal disk is an Intel-style layout: disk0 (GPT) holds an EFI
partition and an Apple_APFS partition, whose container is disk3; disk1 and
disk2 are not used. plistlib writes keys in sorted order, as diskutil does.
"""
import os

from . import mounttab

GIB = 1024 ** 3
APFS_CONTAINER_CONTENT = "EF57347C-0000-11AA-AA11-00306543ECAC"

# (device, name, mount point or None, size)
APFS_VOLUMES = [
    ("disk3s1", "Macintosh HD", None, 10 * GIB),
    ("disk3s2", "Preboot", "/System/Volumes/Preboot", 1 * GIB),
    ("disk3s3", "Recovery", None, 1 * GIB),
    ("disk3s4", "Update", "/System/Volumes/Update", 2 * 1024 ** 2),
    ("disk3s5", "Macintosh HD - Data", "/System/Volumes/Data", 200 * GIB),
    ("disk3s6", "VM", "/System/Volumes/VM", 1 * GIB),
]
SNAPSHOT = ("disk3s1s1", "Macintosh HD", "/", 10 * GIB)
INTERNAL_SIZE = 500277790720
EFI_SIZE = 314572800

# Fixed identities, so that the listing is the same from run to run.
UUIDS = {
    "disk0s1": ("D0BE4D35-2F48-4B52-8C3D-3E6E3A4A0F01", "0E239BC6-F960-3107-89CF-1C97F78BB46B"),
    "disk0s2": ("6F3A9C1D-8B7E-4A5C-9D2E-1F4B6C8A0E02", None),
    "disk3s1": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C01", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C01"),
    "disk3s1s1": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C11", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C11"),
    "disk3s2": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C02", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C02"),
    "disk3s3": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C03", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C03"),
    "disk3s4": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C04", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C04"),
    "disk3s5": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C05", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C05"),
    "disk3s6": ("5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C06", "5A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C06"),
}

SCHEME_CONTENT = {"gpt": "GUID_partition_scheme", "mbr": "FDisk_partition_scheme"}

FS_NAMES = {  # FilesystemType -> (FilesystemName, FilesystemUserVisibleName)
    "ntfs": ("NTFS", "Windows NT File System (NTFS)"),
    "msdos": ("MS-DOS FAT32", "MS-DOS (FAT32)"),
    "exfat": ("ExFAT", "ExFAT"),
    "apfs": ("APFS", "APFS"),
}


def _internal_disks(show_fstype):
    efi = {"Content": "EFI", "DeviceIdentifier": "disk0s1", "DiskUUID": UUIDS["disk0s1"][0],
           "Size": EFI_SIZE, "VolumeName": "EFI", "VolumeUUID": UUIDS["disk0s1"][1]}
    apfs = {"Content": "Apple_APFS", "DeviceIdentifier": "disk0s2", "DiskUUID": UUIDS["disk0s2"][0],
            "Size": INTERNAL_SIZE - EFI_SIZE - 40960}
    if show_fstype:
        efi["FilesystemType"] = "msdos"
        apfs["FilesystemType"] = "apfs"
    disk0 = {"Content": "GUID_partition_scheme", "DeviceIdentifier": "disk0", "OSInternal": False,
             "Partitions": [efi, apfs], "Size": INTERNAL_SIZE}
    vols = []
    for dev, name, mp, size in APFS_VOLUMES:
        v = {"CapacityInUse": size // 2, "DeviceIdentifier": dev, "DiskUUID": UUIDS[dev][0],
             "OSInternal": False, "Size": size, "VolumeName": name, "VolumeUUID": UUIDS[dev][1]}
        if mp:
            v["MountPoint"] = mp
        if dev == "disk3s1":
            v["MountedSnapshots"] = [{"Sealed": "Yes", "SnapshotBSD": SNAPSHOT[0], "SnapshotMountPoint": "/",
                                      "SnapshotName": "com.apple.os.update-0", "SnapshotUUID": UUIDS["disk3s1s1"][0]}]
        vols.append(v)
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


def list_plist(state, mounts=None):
    live = mounttab.live_system_mounts(state, mounts)
    by_dev = {r["device"]: r for r in live}
    show_internal = _shows_fstype(state)
    disk0, disk3 = _internal_disks(show_internal)
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


def info_external(state, disk, part, mounts=None):
    """The description of an attached disk or volume."""
    live = {r["device"]: r for r in mounttab.live_system_mounts(state, mounts)}
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


def info_internal(dev):
    """The description of an internal device, or None."""
    common = {"BusProtocol": "PCI-Express", "DeviceBlockSize": 4096, "Ejectable": False, "Internal": True,
              "RemovableMedia": False, "RemovableMediaOrExternalDevice": False, "SolidState": True,
              "WritableMedia": True, "OSInternalMedia": False, "DeviceNode": "/dev/" + dev,
              "DeviceIdentifier": dev}
    if dev == "disk0":
        common.update({"Content": "GUID_partition_scheme", "ParentWholeDisk": "disk0", "WholeDisk": True,
                       "Size": INTERNAL_SIZE, "TotalSize": INTERNAL_SIZE, "MountPoint": "", "VolumeName": ""})
        return common
    if dev in ("disk0s1", "disk0s2"):
        common.update({"Content": "EFI" if dev == "disk0s1" else "Apple_APFS", "ParentWholeDisk": "disk0",
                       "WholeDisk": False, "DiskUUID": UUIDS[dev][0], "MountPoint": "",
                       "VolumeName": "EFI" if dev == "disk0s1" else ""})
        return common
    if dev == "disk3":
        common.update({"Content": APFS_CONTAINER_CONTENT, "ParentWholeDisk": "disk3", "WholeDisk": True,
                       "MountPoint": "", "VolumeName": ""})
        return common
    for d, name, mp, size in APFS_VOLUMES + [SNAPSHOT]:
        if d == dev:
            common.update({"Content": "41504653-0000-11AA-AA11-00306543ECAC", "ParentWholeDisk": "disk3",
                           "WholeDisk": False, "FilesystemName": "APFS", "FilesystemType": "apfs",
                           "FilesystemUserVisibleName": "APFS", "MountPoint": mp or "", "VolumeName": name,
                           "Size": size, "TotalSize": size, "DiskUUID": UUIDS[dev][0],
                           "VolumeUUID": UUIDS[dev][1], "Writable": mp not in (None, "/"),
                           "WritableVolume": mp not in (None, "/")})
            return common
    return None


def internal_device_at(mp):
    for d, _, p, _ in APFS_VOLUMES + [SNAPSHOT]:
        if p == mp:
            return d
    return None
