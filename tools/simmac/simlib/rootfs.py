"""Builds the simulated Mac's root file system inside a private mount
namespace, then makes it the namespace's root.

The new root is a tmpfs. /usr and /etc are overlays whose lower layer is the
host's own directory and whose upper layer lives on a tmpfs that only this
namespace can reach, so the host's files are never written. Everything the
Mac needs that Debian lacks (/Volumes, /Users/alice, the simulated programs,
the accounts) is added on top.
"""
import json
import os
import shutil
import subprocess

from . import layout, mounttab, sysmount, users


def build(state_dir, binds):
    """Runs in the anchor, in its fresh namespace, before pivot_root."""
    sysmount.make_private("/")
    root = os.path.join(state_dir, layout.NEWROOT)
    layers = os.path.join(state_dir, layout.LAYERS)
    os.makedirs(layers, exist_ok=True)
    sysmount.mount("simmac-layers", layers, "tmpfs", 0, "mode=0700")
    sysmount.mount("simmac-root", root, "tmpfs", 0, "mode=0755")

    def at(p):
        return os.path.join(root, p.lstrip("/"))

    _skeleton(at)
    _top_level_links(at, layers)
    _overlay("/usr", at("/usr"), layers, "usr")
    _overlay("/etc", at("/etc"), layers, "etc", opaque=["sudoers.d"])
    _accounts(at)
    _devices(at)
    sysmount.mount("proc", at("/proc"), "proc", sysmount.MS_NOSUID | sysmount.MS_NODEV | sysmount.MS_NOEXEC)
    try:
        sysmount.mount("sysfs", at("/sys"), "sysfs",
                       sysmount.MS_RDONLY | sysmount.MS_NOSUID | sysmount.MS_NODEV | sysmount.MS_NOEXEC)
    except OSError:
        sysmount.bind("/sys", at("/sys"), readonly=True)
    os.makedirs(at(layout.SIM_VAR), exist_ok=True)
    sysmount.bind(layout.host_var(state_dir), at(layout.SIM_VAR))
    for path in binds:
        os.makedirs(at(path), exist_ok=True)
        sysmount.bind(path, at(path), readonly=True)
    return root


def pivot(root):
    old = os.path.join(root, ".oldroot")
    os.makedirs(old, exist_ok=True)
    sysmount.pivot_root(root, old)
    os.chdir("/")
    sysmount.umount("/.oldroot", sysmount.MNT_DETACH)
    os.rmdir("/.oldroot")


def _mkdir(path, mode=0o755, uid=0, gid=0):
    os.makedirs(path, exist_ok=True)
    os.chmod(path, mode)
    os.chown(path, uid, gid)


def _skeleton(at):
    for d in ("/usr", "/etc", "/proc", "/sys", "/dev", "/run", "/var/log", "/System/Volumes/Data", "/Library",
              "/Volumes", "/root"):
        _mkdir(at(d))
    os.chmod(at("/root"), 0o700)
    for d in ("/tmp", "/var/tmp"):
        _mkdir(at(d), 0o1777)
    # Where macOS keeps privileged helpers (root:wheel, 0755).
    _mkdir(at("/Library/PrivilegedHelperTools"))
    # The start-up volume's link, which macOS ships: it takes the name, so a
    # disk called "Macintosh HD" is mounted at "Macintosh HD 1".
    os.symlink("/", at("/Volumes/Macintosh HD"))
    _mkdir(at("/var/root"), 0o750)
    os.symlink("/run", at("/var/run"))
    # macOS keeps /etc, /tmp and /var under /private; scripts written for it
    # use either spelling.
    _mkdir(at("/private"))
    for name in ("etc", "tmp", "var"):
        os.symlink("/" + name, at("/private/" + name))
    home = at(layout.HOME)
    _mkdir(home, 0o750, layout.UID, layout.GID)
    for sub in ("Library", "Library/Logs", "Library/Preferences", "Library/Application Support",
                "Desktop", "Documents", "Downloads"):
        _mkdir(os.path.join(home, sub), 0o700, layout.UID, layout.GID)


def _top_level_links(at, layers):
    """/bin, /sbin, /lib... as on the host: links into /usr on a merged-/usr
    system, otherwise overlays of the host's directories."""
    for name in ("bin", "sbin", "lib", "lib32", "lib64", "libx32"):
        host = "/" + name
        if os.path.islink(host):
            os.symlink(os.readlink(host), at(host))
        elif os.path.isdir(host):
            os.makedirs(at(host))
            _overlay(host, at(host), layers, name)


def _overlay(lower, target, layers, name, opaque=()):
    up = os.path.join(layers, name, "upper")
    work = os.path.join(layers, name, "work")
    os.makedirs(work, exist_ok=True)
    for sub in opaque:
        # An opaque directory hides the host's entries below it.
        d = os.path.join(up, sub)
        os.makedirs(d)
        os.chmod(d, os.stat(os.path.join(lower, sub)).st_mode & 0o7777)
        os.setxattr(d, "trusted.overlay.opaque", b"y")
    os.makedirs(up, exist_ok=True)
    sysmount.mount("simmac-" + name, target, "overlay", 0,
                   "lowerdir=%s,upperdir=%s,workdir=%s" % (lower, up, work))


def _write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)


def _accounts(at):
    with open("/etc/passwd", encoding="utf-8") as f:
        _write(at("/etc/passwd"), users.passwd_text(f.read()))
    with open("/etc/group", encoding="utf-8") as f:
        _write(at("/etc/group"), users.group_text(f.read()))
    _write(at("/etc/sudoers"), users.SUDOERS, 0o440)
    # FUSE daemons started by the system run as root but serve the user too.
    _write(at("/etc/fuse.conf"), "user_allow_other\n")


_NODES = [  # name, major, minor, mode
    ("null", 1, 3, 0o666), ("zero", 1, 5, 0o666), ("full", 1, 7, 0o666),
    ("random", 1, 8, 0o666), ("urandom", 1, 9, 0o666), ("tty", 5, 0, 0o666),
    ("console", 5, 1, 0o600), ("fuse", 10, 229, 0o666), ("loop-control", 10, 237, 0o660),
]

REFUSED_DIR = "/dev/.refused"  # nodev tmpfs: opening a device node here fails


def _devices(at):
    dev = at("/dev")
    sysmount.mount("devfs", dev, "tmpfs", sysmount.MS_NOSUID, "mode=0755")
    for name, major, minor, mode in _NODES:
        p = os.path.join(dev, name)
        os.mknod(p, mode | 0o020000, os.makedev(major, minor))
        os.chmod(p, mode)
    # The console belongs to the logged-in user, as on a Mac.
    os.chown(os.path.join(dev, "console"), layout.UID, layout.GID)
    for name, target in (("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"),
                         ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2"),
                         ("ptmx", "pts/ptmx")):
        os.symlink(target, os.path.join(dev, name))
    os.makedirs(os.path.join(dev, "pts"))
    sysmount.mount("devpts", os.path.join(dev, "pts"), "devpts",
                   sysmount.MS_NOSUID | sysmount.MS_NOEXEC, "newinstance,ptmxmode=0666,mode=0620")
    os.makedirs(os.path.join(dev, "shm"))
    sysmount.mount("shm", os.path.join(dev, "shm"), "tmpfs",
                   sysmount.MS_NOSUID | sysmount.MS_NODEV, "mode=1777")
    refused = at(REFUSED_DIR)
    os.makedirs(refused)
    sysmount.mount("refused", refused, "tmpfs",
                   sysmount.MS_NOSUID | sysmount.MS_NODEV | sysmount.MS_NOEXEC, "mode=0755")
    os.mknod(os.path.join(refused, "rdisk"), 0o640 | 0o020000, os.makedev(1, 3))


def install_programs():
    """After pivot_root: put the simulated programs in place."""
    shim = "/usr/libexec/simmac-shim"
    subprocess.run(["gcc", "-O2", "-Wall", "-o", shim, '-DPROGS_DIR="%s"' % layout.PROGS,
                    os.path.join(layout.SIMLIB, "shim.c")],
                   check=True, stdin=subprocess.DEVNULL, env={"PATH": "/usr/bin:/bin", "TMPDIR": "/tmp"})
    for path in layout.SETUID_PROGRAMS:
        if os.path.lexists(path):
            os.unlink(path)
        shutil.copyfile(shim, path)
        os.chown(path, 0, 0)
        os.chmod(path, 0o4755)
    os.unlink(shim)
    for path, real in layout.AT_MAC_PATHS.items():
        shutil.copy2(real, path)
    # macOS's /bin/sh is bash; `do shell script` and the Drivelark's shell
    # commands run under it.
    os.unlink("/usr/bin/sh")
    os.symlink("bash", "/usr/bin/sh")
    for path, module in layout.PLAIN_PROGRAMS.items():
        if os.path.lexists(path):
            os.unlink(path)
        _write(path, "#!/usr/bin/python3 -I\nimport sys\nsys.path.insert(0, %r)\n"
                     "from progs.%s import main\nsys.exit(main(sys.argv))\n" % (layout.SIMMAC_DIR, module), 0o755)


def record_plumbing():
    """Remember the mount points that make up the environment itself, so that
    the simulated `mount` leaves them out."""
    points = sorted({m.mount_point for m in mounttab.read_mountinfo()})
    _write(layout.PLUMBING, json.dumps(points, ensure_ascii=False))
