"""Attaching, detaching and yanking simulated disks (runs inside, as root). A disk is a set of
partition images plus /dev nodes: /dev/diskNsM links to the partition's image, so the real
ntfs-3g reaches it under its macOS name (for a whole-disk volume: /dev/diskN); /dev/rdiskNsM is
/dev/null's device, which dd opens for writing without touching anything, or, when raw writes
are refused, a link to a device node on a nodev mount, which every open refuses (EACCES).
Attaching mounts what macOS mounts (NTFS read-only); yanking is the pulled cable.
"""
import contextlib
import fcntl
import os
import uuid

from . import images, layout, mounttab, procs, rootfs, volumes
from .state import StateFile

MBR = {"ntfs": "Windows_NTFS", "exfat": "Windows_NTFS", "fat32": "DOS_FAT_32", "efi": "EFI"}
CONTENT = {"gpt": dict.fromkeys(("ntfs", "exfat", "fat32"), "Microsoft Basic Data") | {"efi": "EFI"},
           "mbr": MBR, "none": MBR}
FILESYSTEM_TYPE = {"ntfs": "ntfs", "exfat": "exfat", "fat32": "msdos", "efi": "msdos"}


def _new_uuid():
    return str(uuid.uuid4()).upper()


def _check_request(request):
    scheme, parts = request["scheme"], request["partitions"]
    for p in parts:
        if p.get("fs", "ntfs") not in images.DEFAULT_SIZE_MB or p.get("state", "clean") not in images.NTFS_STATES or \
                p.get("state", "clean") != "clean" and p.get("fs", "ntfs") != "ntfs":
            raise ValueError("not a partition the simulator makes: %r" % p)
    if scheme not in CONTENT or not parts or scheme == "none" and len(parts) != 1:
        raise ValueError("a disk's scheme is gpt, mbr or none (one volume), with at least one partition")
    return scheme, parts


def attach(request):
    scheme, parts = _check_request(request)
    sf = StateFile()
    with sf.locked() as st:
        n = layout.FIRST_EXTERNAL_DISK
        while "disk%d" % n in st["disks"]:
            n += 1
        disk_id = "disk%d" % n
        st["disks"][disk_id] = {"id": disk_id, "pending": True}   # reserved; diskutil skips it
    try:
        disk = _build(disk_id, scheme, parts, request)
    except BaseException:
        with sf.locked() as st:
            st["disks"].pop(disk_id, None)
        _remove_files(disk_id)
        raise
    with sf.locked() as st:
        st["disks"][disk_id] = disk
    # The disk is there; now the system mounts its volumes, one by one.
    for part in disk["partitions"]:
        if part["automount"]:
            part["mount_point"] = system_mount(part)["mount_point"]
    return disk


@contextlib.contextmanager
def _one_mount_at_a_time():
    fd = os.open(layout.MOUNT_LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o600)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        yield
    finally:
        os.close(fd)


def system_mount(part):
    """Mounts a volume the way the system does when its disk arrives (NTFS
    read-only, FAT and exFAT read-write, at /Volumes/<name>), unless the
    system has it mounted already. Returns its record. Serialized,
    so that an attach and a `diskutil mount` never mount one volume twice.
    Raises RuntimeError when the volume cannot be mounted."""
    with _one_mount_at_a_time():
        rec = mounttab.system_mount(StateFile().read(), "device", part["id"])
        if rec is not None:
            return rec
        mp = volumes.mount_point_for(part["name"])
        rec = volumes.start_system_mount(part, "/dev/" + part["id"], mp)
        with StateFile().locked() as st:
            mounttab.prune_system_mounts(st)
            st["system_mounts"].append(rec)
        return rec


def _build(disk_id, scheme, parts, request):
    disk = {"id": disk_id, "scheme": scheme, "fstype_shown": request.get("fstype_shown"),
            "raw_writes": bool(request.get("raw_writes", True)), "partitions": []}
    for i, p in enumerate(parts, 1):
        fs = p.get("fs", "ntfs")
        pid = disk_id if scheme == "none" else "%ss%d" % (disk_id, i)
        image = os.path.join(layout.IMAGES, pid + ".img")
        u = p.get("uuid", True)
        part = {
            "id": pid, "fs": fs, "name": p.get("name"),
            "uuid": _new_uuid() if u is True else (u or None),
            "part_uuid": _new_uuid() if scheme == "gpt" else None,
            "content": p.get("content") or CONTENT[scheme][fs],
            "filesystem_type": FILESYSTEM_TYPE[fs],
            "state": p.get("state", "clean"),
            "image": image,
            "automount": p.get("mount", True) and fs != "efi",
        }
        part["size"] = images.make(image, fs, p.get("size_mb"), part["name"], part["state"])
        disk["partitions"].append(part)
    overhead = 0 if scheme == "none" else 2 * images.MIB
    disk["size"] = sum(p["size"] for p in disk["partitions"]) + overhead
    _make_nodes(disk)
    return disk


def _node(path, target=None):
    if os.path.lexists(path):
        os.unlink(path)
    if target is None:
        os.mknod(path, 0o640 | 0o020000, os.makedev(1, 3))
        os.chown(path, 0, 5)
    else:
        os.symlink(target, path)


def _make_nodes(disk):
    refused = os.path.join(rootfs.REFUSED_DIR, "rdisk")
    whole = disk["scheme"] == "none"
    first = disk["partitions"][0]
    _node("/dev/" + disk["id"], first["image"] if whole else None)
    _node("/dev/r" + disk["id"], None if disk["raw_writes"] else refused)
    if whole:
        return
    for part in disk["partitions"]:
        _node("/dev/" + part["id"], part["image"])
        _node("/dev/r" + part["id"], None if disk["raw_writes"] else refused)


def _remove_files(disk_id):
    for name in os.listdir("/dev"):
        if name == disk_id or name.startswith(disk_id + "s") or name == "r" + disk_id \
                or name.startswith("r" + disk_id + "s"):
            os.unlink(os.path.join("/dev", name))
    for name in os.listdir(layout.IMAGES):
        if name == disk_id + ".img" or name.startswith(disk_id + "s"):
            os.unlink(os.path.join(layout.IMAGES, name))


def take_away(disk_id, cleanly):
    """Detaches the disk (cleanly: every mount of it is unmounted, forced where it must be) or
    yanks it (the cable is pulled: the system drops its own mounts, every other mount of the disk
    stays behind dead, its daemon killed, so that the mount point answers ENOTCONN). Either way
    the disk and its /dev nodes vanish. Returns the mount points left dead."""
    st = StateFile().read()
    disk = st["disks"].get(disk_id)
    if disk is None or disk.get("pending"):
        raise ValueError("no disk %s is attached" % disk_id)
    dead = []
    for part in disk["partitions"]:
        rec = mounttab.system_mount(st, "device", part["id"])
        if rec:
            volumes.unmount(rec["mount_point"], force=True, record=rec)
        # ntfs-3g names the image (the target of /dev/diskNsM) as the source of its mounts.
        for m in [m for m in mounttab.read_mountinfo() if m.is_fuse and m.source == part["image"]]:
            if cleanly:
                volumes.unmount(m.mount_point, force=True)
            else:
                dead.append(m.mount_point)
        procs.kill_and_wait(procs.openers(part["image"]))
    _forget(disk_id)
    return {"dead_mounts": dead}


def _forget(disk_id):
    with StateFile().locked() as st:
        disk = st["disks"].pop(disk_id, None) or {}
        ids = {p["id"] for p in disk.get("partitions", [])}
        st["system_mounts"] = [r for r in st["system_mounts"] if r["device"] not in ids]
        mounttab.prune_system_mounts(st)
    _remove_files(disk_id)
    _remove_idle_loop_nodes()


def _remove_idle_loop_nodes():
    """Loop devices free themselves (autoclear); drop their leftover nodes."""
    for name in os.listdir("/dev"):
        if name.startswith("loop") and name[4:].isdigit() \
                and not os.path.exists("/sys/block/%s/loop" % name):
            os.unlink(os.path.join("/dev", name))
