"""Thin ctypes wrappers over the mount system calls and loop devices.

Calling the kernel directly (instead of /usr/bin/mount) keeps hostile volume
names away from any command line and saves a process per mount.
"""
import ctypes
import errno
import fcntl
import os
import struct

_libc = ctypes.CDLL(None, use_errno=True)

MS_RDONLY = 0x1
MS_NOSUID = 0x2
MS_NODEV = 0x4
MS_NOEXEC = 0x8
MS_REMOUNT = 0x20
MS_BIND = 0x1000
MS_REC = 0x4000
MS_PRIVATE = 1 << 18

MNT_FORCE = 0x1
MNT_DETACH = 0x2

SYS_PIVOT_ROOT = 155  # x86_64


def _b(s):
    if s is None:
        return None
    return os.fsencode(s)


def _check(rc, what):
    if rc != 0:
        e = ctypes.get_errno()
        raise OSError(e, "%s: %s" % (what, os.strerror(e)))


def mount(source, target, fstype, flags=0, data=None):
    rc = _libc.mount(_b(source), _b(target), _b(fstype), ctypes.c_ulong(flags), _b(data))
    _check(rc, "mount %s on %s" % (fstype or "bind", target))


def bind(source, target, readonly=False):
    mount(source, target, None, MS_BIND)
    if readonly:
        mount(None, target, None, MS_BIND | MS_REMOUNT | MS_RDONLY)


def umount(target, flags=0):
    rc = _libc.umount2(_b(target), ctypes.c_int(flags))
    _check(rc, "umount %s" % target)


def make_private(target="/"):
    mount(None, target, None, MS_REC | MS_PRIVATE)


def pivot_root(new_root, put_old):
    rc = _libc.syscall(ctypes.c_long(SYS_PIVOT_ROOT), _b(new_root), _b(put_old))
    _check(rc, "pivot_root")


# --- loop devices -----------------------------------------------------------
# Only exFAT needs one: exfat-fuse insists on a block device when run as root.
# The device is set up with autoclear, so the kernel frees it as soon as the
# last opener (the FUSE daemon) closes it, even if everything else crashes.

LOOP_CTL_GET_FREE = 0x4C82
LOOP_CONFIGURE = 0x4C0A
LO_FLAGS_AUTOCLEAR = 4


def loop_attach(image, dev_dir="/dev"):
    """Attach image to a free loop device; returns (path, fd). Close fd once
    the user of the device holds its own descriptor."""
    ctl = os.open(os.path.join(dev_dir, "loop-control"), os.O_RDWR | os.O_CLOEXEC)
    try:
        for _ in range(8):
            n = fcntl.ioctl(ctl, LOOP_CTL_GET_FREE)
            path = os.path.join(dev_dir, "loop%d" % n)
            if not os.path.exists(path):
                os.mknod(path, 0o600 | 0o060000, os.makedev(7, n))
            dev = os.open(path, os.O_RDWR | os.O_CLOEXEC)
            img = os.open(image, os.O_RDWR | os.O_CLOEXEC)
            try:
                info = bytearray(232)
                struct.pack_into("<I", info, 52, LO_FLAGS_AUTOCLEAR)
                name = os.fsencode(image)[:63]
                info[56:56 + len(name)] = name
                cfg = struct.pack("<II", img, 0) + bytes(info) + bytes(64)
                fcntl.ioctl(dev, LOOP_CONFIGURE, cfg)
                return path, dev
            except OSError as e:
                os.close(dev)
                if e.errno != errno.EBUSY:   # lost a race for that number: try again
                    raise
            finally:
                os.close(img)
        raise OSError(errno.EBUSY, "no free loop device")
    finally:
        os.close(ctl)
