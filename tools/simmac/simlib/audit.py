"""Audit log: one JSON line for every run of a simulated program, so a test
can say what ran (and what never did).

The file is appended with a single write per line under O_APPEND, which the
kernel keeps whole even when several programs write at once. It is
world-writable inside the namespace because caffeinate runs as the user.
"""
import contextlib
import json
import os
import time

from . import layout


def record(prog, argv, **extra):
    entry = {
        "time": round(time.time(), 6),
        "prog": prog,
        "argv": list(argv),
        "uid": caller_uid(),
        "pid": os.getpid(),
    }
    entry.update(extra)
    line = (json.dumps(entry, ensure_ascii=False) + "\n").encode("utf-8", "surrogateescape")
    fd = os.open(layout.AUDIT, os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_CLOEXEC, 0o666)
    try:
        os.write(fd, line)
    finally:
        os.close(fd)


_caller = None


def take_caller():
    """For programs behind the setuid shim: the shim becomes root through and
    through before Python starts and passes the real caller on in the
    environment. Take it out, so that children do not inherit a stale one."""
    global _caller
    uid = os.environ.pop("SIMMAC_CALLER_UID", "")
    gid = os.environ.pop("SIMMAC_CALLER_GID", "")
    if uid.isdigit() and gid.isdigit():
        _caller = (int(uid), int(gid))
    return caller_uid()


def caller_uid():
    return _caller[0] if _caller else os.getuid()


def caller_gid():
    return _caller[1] if _caller else os.getgid()


def read(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        return [json.loads(line) for line in f if line.strip()]


@contextlib.contextmanager
def killable_by_caller():
    """While a program behind the setuid shim waits (a dialog that stays
    open, a program told to hang), its real uid is the caller's, so that the
    caller may signal it as it could the Mac's program, which is not setuid.
    Root comes back afterwards (the saved uid stays 0)."""
    uid = caller_uid()
    if os.geteuid() != 0 or uid == 0:
        yield
        return
    os.setresuid(uid, 0, 0)
    try:
        yield
    finally:
        os.setresuid(0, 0, 0)
