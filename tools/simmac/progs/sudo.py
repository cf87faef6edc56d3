#!/usr/bin/python3 -I
"""/usr/bin/sudo of the simulated Mac.

There is nobody to type a password, so a command runs only where sudoers
lets the calling user run it without one (root never needs one). The caller
is the real uid of the process that ran sudo, passed on by the setuid shim.
The command is exec'd in place of sudo, as root, with its arguments as
given, so its exit status is sudo's. A rule that pins the command's digest
is checked against the file, then the file is run by its path (macOS has no
fexecve).

`sudo -l COMMAND` asks nothing: it prints the command's full path (and its
arguments) with exit status 0 when the caller may run it without a
password, and otherwise fails as a run would (`sudo: a password is
required`, exit 1). Plain `sudo -l` lists the caller's rules when at least
one of them needs no password (sudo's listpw=any).
"""
import socket
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, sudoers, users  # noqa: E402

KEEP_ENV = ("PATH", "TERM", "HOME", "MAIL", "LANG", "LANGUAGE", "TZ", "DISPLAY", "COLORFGBG",
            "COLORTERM", "COLUMNS", "LINES", "PS1", "PS2", "XAUTHORITY")


def fail(text, status=1):
    sys.stderr.write(text)
    return status


def find_command(cmd, env_path):
    if "/" in cmd:
        return cmd if os.path.isfile(cmd) and os.access(cmd, os.X_OK) else None
    for d in (env_path or "/usr/bin:/bin:/usr/sbin:/sbin").split(":"):
        p = os.path.join(d or ".", cmd)
        if os.path.isfile(p) and os.access(p, os.X_OK):
            return p
    return None


def parse(args):
    opts = {"n": False, "user": "root", "v": False, "k": False, "S": False, "l": False}
    i = 0
    while i < len(args):
        a = args[i]
        if a == "--":
            i += 1
            break
        if not a.startswith("-") or a == "-":
            break
        if a in ("-u", "--user"):
            opts["user"] = args[i + 1] if i + 1 < len(args) else ""
            i += 2
            continue
        if a.startswith("--user="):
            opts["user"] = a.split("=", 1)[1]
            i += 1
            continue
        long = {"--non-interactive": "n", "--validate": "v", "--reset-timestamp": "k", "--stdin": "S",
                "--preserve-env": "E", "--set-home": "H", "--list": "l"}
        if a in long:
            opts[long[a]] = True
            i += 1
            continue
        for ch in a[1:]:
            if ch in "nvkSEHl":
                opts[ch] = True
            else:
                raise ValueError("sudo: invalid option -- '%s'\n" % ch)
        i += 1
    return opts, args[i:]


def password_required(opts):
    if not opts["n"]:
        # No terminal: sudo cannot ask.
        sys.stderr.write("sudo: a terminal is required to read the password; either use the -S option "
                         "to read from standard input or configure an askpass helper\n")
    return fail("sudo: a password is required\n")


def list_mode(opts, command, user, uid, groups, note):
    if not command:
        rules, _ = sudoers.rules_of(user, uid, groups, runas=None)
        if uid != 0 and not any(r.nopasswd for r in rules):
            note("password required")
            return password_required(opts)
        note("listed")
        host = socket.gethostname()
        lines = ["User %s may run the following commands on %s:\n" % (user, host)]
        for r in rules:
            lines.append("    (%s) %s%s\n" % (", ".join(r.runas), "NOPASSWD: " if r.nopasswd else "", r.command))
        sys.stdout.write("".join(lines))
        return 0
    path = find_command(command[0], os.environ.get("PATH"))
    if path is None:
        note("not found")
        return fail("sudo: %s: command not found\n" % command[0])
    full = os.path.abspath(path)
    verdict = sudoers.decide(user, uid, groups, full, command[1:])
    if verdict is True or (uid == 0 and verdict is not None):
        note("allowed", command=full)
        sys.stdout.write(" ".join([full] + command[1:]) + "\n")
        return 0
    if uid == 0:
        note("not allowed")
        return 1
    note("password required")
    return password_required(opts)


def main(argv):
    uid = audit.take_caller()
    gid = audit.caller_gid()
    args = argv[1:]
    try:
        opts, command = parse(args)
    except (ValueError, IndexError) as e:
        audit.record(os.environ.get("SIMMAC_PROG", "/usr/bin/sudo"), args, result="usage")
        return fail(str(e) + "usage: sudo [-n] [-u user] command [arg ...]\n")
    user = users.user_name(uid)
    groups = users.user_groups(user, gid)

    def note(result, **kw):
        audit.record(os.environ.get("SIMMAC_PROG", "/usr/bin/sudo"), args, result=result, **kw)

    if opts["l"]:
        return list_mode(opts, command, user, uid, groups, note)
    if opts["k"] and not command and not opts["v"]:
        note("reset")
        return 0
    if opts["v"] and not command:
        if uid == 0:
            note("validated")
            return 0
        note("password required")
        return password_required(opts)
    if not command:
        note("usage")
        return fail("usage: sudo [-n] [-u user] command [arg ...]\n")
    if opts["user"] not in ("root", "#0"):
        note("unsupported user")
        return fail("sudo: the simulated Mac runs commands as root only (-u %s)\n" % opts["user"])
    # sudo finds the command before it looks at the rules.
    path = find_command(command[0], os.environ.get("PATH"))
    if path is None:
        note("not found")
        return fail("sudo: %s: command not found\n" % command[0])
    full = os.path.abspath(path)
    verdict = sudoers.decide(user, uid, groups, full, command[1:])
    if uid != 0 and verdict is not True:
        note("password required")
        return password_required(opts)
    if uid == 0 and verdict is None:
        note("not allowed")
        return fail("sudo: root is not allowed to run %s\n" % full)
    env = {k: v for k, v in os.environ.items() if k in KEEP_ENV or k.startswith("LC_")}
    env.update({"USER": "root", "LOGNAME": "root", "SUDO_USER": user, "SUDO_UID": str(uid),
                "SUDO_GID": str(gid), "SUDO_COMMAND": " ".join([full] + command[1:])[:4096]})
    env.setdefault("PATH", "/usr/bin:/bin:/usr/sbin:/sbin")
    note("ran", command=full)
    try:
        os.execve(full, [command[0]] + command[1:], env)
    except OSError as e:
        return fail("sudo: unable to execute %s: %s\n" % (full, e.strerror))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
