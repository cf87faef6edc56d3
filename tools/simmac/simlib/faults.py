"""Faults a scenario can put into the simulated diskutil (limited to some verbs, and to runs that
name some devices, or not) and into mount's listing, for every caller:

  fail     exit status 1 and the real program's error on standard error
  hang     no answer: the program sleeps until it is killed (by anyone who could kill the Mac's
           program, which is not setuid), or HANG_SECONDS have passed
  garbage  exit status 0 and a property list cut off in the middle (where one was asked for),
           else lines of junk

A faulty run does nothing else (nothing is mounted, unmounted or read).
"""
import sys
import time

from . import audit
from .state import StateFile

MODES = ("off", "fail", "hang", "garbage")
HANG_SECONDS = 900

FAIL_TEXT = {
    "diskutil": "Unable to run because unable to use the DiskManagement framework.\n",
    "mount": "mount: getmntinfo: Input/output error\n",
}
PLIST_GARBAGE = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                 '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
                 '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
                 '<plist version="1.0">\n<dict>\n\t<key>AllDisks</key>\n\t<array>\n\t\t<string>dis')
TEXT_GARBAGE = "\x7f\x01 ]]> ?? #@!\n%%% (garbled) %%% 0xDEADBEEF\n\x1b[0m\n"

def set_fault(state, prog, mode, verbs=None, devices=None):
    """Call with the state locked; raises ValueError for a fault the simulator does not have."""
    if prog not in FAIL_TEXT or mode not in MODES or (prog != "diskutil" and (verbs or devices)):
        raise ValueError("no fault %r for %r (modes %s; only diskutil's are per verb and device)"
                         % (mode, prog, ", ".join(MODES)))
    state["faults"].pop(prog, None)
    if mode != "off":
        state["faults"][prog] = {"mode": mode, "verbs": verbs, "devices": devices}


def active(prog, verb=None, arguments=()):
    """The fault mode that applies to this run, or None."""
    fault = StateFile().read()["faults"].get(prog)
    if not fault or fault["verbs"] and verb not in fault["verbs"]:
        return None
    if fault["devices"] and not {a.removeprefix("/dev/") for a in arguments} & set(fault["devices"]):
        return None
    return fault["mode"]


def act(prog, mode, plist=False):
    """Misbehaves as mode says; returns the exit status."""
    if mode == "fail":
        sys.stderr.write(FAIL_TEXT[prog])
        return 1
    if mode == "hang":
        sys.stdout.flush()
        with audit.killable_by_caller():
            time.sleep(HANG_SECONDS)   # the hang itself, not a wait for anything
        return 1
    sys.stdout.buffer.write((PLIST_GARBAGE if plist else TEXT_GARBAGE).encode("utf-8"))
    sys.stdout.flush()
    return 0
