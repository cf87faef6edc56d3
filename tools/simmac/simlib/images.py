"""Disk images of the simulated disks: one sparse file per partition (or per
whole-disk volume), formatted with Debian's own mkfs tools.

The names that diskutil shows come from the scenario, not from the image;
labels are still written where the file system allows, so that a look
inside the image is not surprising.
"""
import os
import re
import subprocess

from . import layout, mounttab, ntfsstate, sysmount, waiting

MIB = 1024 * 1024
DEFAULT_SIZE_MB = {"ntfs": 16, "fat32": 40, "efi": 40, "exfat": 16}
NTFS_STATES = ("clean", "dirty", "unclean", "faststart", "hibernated")


def _run(argv):
    r = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True)
    if r.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (argv[0], r.returncode,
                                                  r.stderr.decode("utf-8", "replace").strip()))


def _fat_label(name):
    label = re.sub(r"[^A-Z0-9 _-]", "_", (name or "").upper())[:11].strip()
    return label or "NO NAME"


def make(path, fs, size_mb, name, state="clean"):
    size_mb = size_mb or DEFAULT_SIZE_MB[fs]
    with open(path, "wb") as f:
        f.truncate(size_mb * MIB)
    os.chmod(path, 0o600)
    if fs == "ntfs":
        argv = ["mkntfs", "-Q", "-F", "-q"]   # quick: no zeroing, so the image stays sparse
        if name:
            argv += ["-L", name]
        _run(argv + [path])
        if state == "hibernated":
            make_hibernated(path)
        elif state != "clean":
            ntfsstate.apply(path, state)
    elif fs in ("fat32", "efi"):
        label = "EFI" if fs == "efi" else _fat_label(name)
        _run(["mkfs.vfat", "-F", "32", "-s", "1", "-n", label, path])
    elif fs == "exfat":
        label = re.sub(r"[^\w -]", "_", name or "")[:11] or "Untitled"
        _run(["mkfs.exfat", "-L", label, path])
    else:
        raise ValueError("unknown file system %r" % fs)
    return os.path.getsize(path)


def make_hibernated(path):
    """Mount the fresh volume read-write, leave a hibernation file behind as
    Windows does (it begins with "HIBR"), unmount. The mount lives in the
    namespace's scratch area and the daemon is waited for, so the image is
    complete before anything else opens it."""
    mp = os.path.join(layout.SCRATCH, "hib-%d" % os.getpid())
    os.makedirs(mp, exist_ok=True)
    daemon = subprocess.Popen([layout.NTFS3G, "-o", "no_detach", path, mp],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    try:
        waiting.until(lambda: mounttab.mounted_at(mp) is not None or daemon.poll() is not None,
                      10, "the scratch mount of " + path)
        if daemon.poll() is not None:
            raise RuntimeError("ntfs-3g could not mount %s: %s" % (path, daemon.stderr.read().decode()))
        with open(os.path.join(mp, "hiberfil.sys"), "wb") as f:
            f.write(b"HIBR" + bytes(8192 - 4))
        sysmount.umount(mp)
        daemon.wait(20)
    finally:
        if daemon.poll() is None:
            daemon.kill()
            daemon.wait()
        os.rmdir(mp)
