#!/usr/bin/python3 -I
"""/usr/bin/sudo of the simulated Mac, for the form Drivelark runs:

    sudo -n /path/to/tool [ARGS...]

Nobody is there to type a password: the tool runs, as root, with its
arguments as given and in place of sudo (its exit status is sudo's), when a
rule lets the caller run it without one (simlib/sudoers.py; root needs
none); otherwise `sudo: a password is required`, exit 1. A file that does
not exist is `command not found` whatever the rules (sudo looks first). The
caller is the real uid of the process that ran sudo, passed on by the setuid
shim. Any other form fails loudly.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, sudoers, users  # noqa: E402

KEEP_ENV = ("PATH", "TERM", "HOME", "LANG", "TZ", "COLUMNS", "LINES")


def main(argv):
    uid, gid, args = audit.take_caller(), audit.caller_gid(), argv[1:]
    prog = os.environ.get("SIMMAC_PROG", "/usr/bin/sudo")

    def refuse(result, text):
        audit.record(prog, args, result=result)
        sys.stderr.write(text)
        return 1

    if len(args) < 2 or args[0] != "-n" or not args[1].startswith("/"):
        return refuse("unsupported", "sudo (simulated): only `sudo -n /path/to/tool [ARGS]` is simulated, not %r\n"
                      % args)
    command = args[1:]
    path, user = command[0], users.user_name(uid)
    if not (os.path.isfile(path) and os.access(path, os.X_OK)):
        return refuse("not found", "sudo: %s: command not found\n" % path)
    try:
        if uid != 0 and not sudoers.without_password(user, path):
            return refuse("password required", "sudo: a password is required\n")
    except sudoers.RuleError as e:
        return refuse("unreadable rules", "sudo (simulated): %s\n" % e)
    env = {k: v for k, v in os.environ.items() if k in KEEP_ENV or k.startswith("LC_")}
    env.update({"USER": "root", "LOGNAME": "root", "SUDO_USER": user, "SUDO_UID": str(uid),
                "SUDO_GID": str(gid), "SUDO_COMMAND": " ".join(command)[:4096]})
    env.setdefault("PATH", "/usr/bin:/bin:/usr/sbin:/sbin")
    audit.record(prog, args, result="ran", command=path)
    try:
        os.execve(path, command, env)
    except OSError as e:
        return refuse("failed", "sudo: unable to execute %s: %s\n" % (path, e.strerror))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
