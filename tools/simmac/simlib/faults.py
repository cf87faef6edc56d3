"""Faults a scenario can put into the simulated diskutil, into mount's listing
and into ntfs-3g's mounts (not its probe), for tests of what Drivelark does
when the Mac's tools misbehave.

  off      the program works
  fail     exit status 1 and an error on standard error
  hang     no answer: the program sleeps until it is killed (by anyone who
           could kill the Mac's program, which is not setuid), and ends by
           itself after HANG_SECONDS so that nothing outlives a forgotten test
  garbage  exit status 0 and output that is not what was asked for: a
           property list cut off in the middle where one was asked for,
           else lines of junk

A faulty run does nothing else (nothing is mounted, unmounted or read). The
state holds {"diskutil": {"mode": M, "verbs": [...] or None, "devices": [...] or None},
"mount": {...}, ...}; for diskutil the fault may be limited to some verbs and to runs
that name some devices (None: every verb, every run).
Every caller gets it, root as much as the console user.
"""
import sys
import time

from . import audit
from .state import StateFile

MODES = ("off", "fail", "hang", "garbage")
PROGRAMS = ("diskutil", "mount", "ntfs-3g")
HANG_SECONDS = 900

FAIL_TEXT = {
    "diskutil": "Unable to run because unable to use the DiskManagement framework.\n",
    "mount": "mount: getmntinfo: Input/output error\n",
    "ntfs-3g": "Error reading bootsector: Input/output error\nFailed to mount: Input/output error\n",
}
FAIL_STATUS = {"ntfs-3g": 13}  # ntfs-3g's "corrupt"; the others exit 1
PLIST_GARBAGE = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                 '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
                 '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
                 '<plist version="1.0">\n<dict>\n\t<key>AllDisks</key>\n\t<array>\n\t\t<string>dis')
TEXT_GARBAGE = "\x7f\x01 ]]> ?? #@!\n%%% (garbled) %%% 0xDEADBEEF\n\x1b[0m\n"

_VERB_NAMES = {"information": "info", "umount": "unmount"}


def verb_name(verb):
    return _VERB_NAMES.get(verb, verb)


def check(prog, mode, verbs=None, devices=None):
    """Raises ValueError for a fault the simulator does not have."""
    if prog not in PROGRAMS:
        raise ValueError("no faults for %r (%s)" % (prog, ", ".join(PROGRAMS)))
    if mode not in MODES:
        raise ValueError("unknown fault mode %r (%s)" % (mode, ", ".join(MODES)))
    if (verbs is not None or devices is not None) and prog != "diskutil":
        raise ValueError("only diskutil's faults are per verb and device")


def set_fault(state, prog, mode, verbs=None, devices=None):
    """Call with the state locked."""
    check(prog, mode, verbs, devices)
    faults = state.setdefault("faults", {})
    if mode == "off":
        faults.pop(prog, None)
    else:
        faults[prog] = {"mode": mode, "verbs": sorted({verb_name(v) for v in verbs}) if verbs else None,
                        "devices": sorted(devices) if devices else None}


def active(prog, verb=None, arguments=()):
    """The fault mode that applies to this run, or None."""
    fault = StateFile().read().get("faults", {}).get(prog)
    if not fault:
        return None
    if fault.get("verbs") and verb_name(verb) not in fault["verbs"]:
        return None
    named = {a.removeprefix("/dev/") for a in arguments}
    if fault.get("devices") and not named & set(fault["devices"]):
        return None
    return fault["mode"]


def act(prog, mode, plist=False):
    """Misbehaves as mode says; returns the exit status."""
    if mode == "fail":
        sys.stderr.write(FAIL_TEXT[prog])
        return FAIL_STATUS.get(prog, 1)
    if mode == "hang":
        sys.stdout.flush()
        with audit.killable_by_caller():
            time.sleep(HANG_SECONDS)   # the hang itself, not a wait for anything
        return 1
    sys.stdout.buffer.write((PLIST_GARBAGE if plist else TEXT_GARBAGE).encode("utf-8"))
    sys.stdout.flush()
    return 0
