#!/usr/bin/python3 -I
"""/usr/bin/osascript of the simulated Mac, for `do shell script`, with the
command either in a string literal or passed as an argument to a run handler
(`osascript -e 'on run argv' -e 'do shell script (item 1 of argv) ...' -e
'end run' COMMAND`), so that no outside text becomes AppleScript source.

"with administrator privileges" shows the password dialog (simlib/dialog.py:
the answers come from the scenario's queue). Accepted, the text runs as
root through /bin/sh -c, from /, with the default PATH, standard input
closed; standard output and standard error are read to their end (a
background child that keeps them open keeps osascript waiting, as on a
Mac). Without administrator privileges it runs as
the calling user and nobody is asked.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import applescript, audit, dialog  # noqa: E402

ANSWERS = {
    "cancel": ("User canceled.", -128),
    "wrong": ("The administrator user name or password was incorrect.", -60007),
}

USAGE = "usage: osascript [-l language] [-e script] [-i] [-s {ehso}] [programfile] [argument ...]\n"


class UsageError(Exception):
    pass


def parse_args(args):
    """(script lines, program file or None, arguments for the run handler),
    read as BSD getopt("e:il:s:") reads them: options end at the first
    argument that does not begin with '-' (or after "--"), so an argument
    for the script that begins with '-' is taken for an option."""
    lines, i = [], 0
    while i < len(args):
        a = args[i]
        if a == "--":
            i += 1
            break
        if not a.startswith("-") or a == "-":
            break
        j = 1
        while j < len(a):
            ch = a[j]
            if ch == "i":
                j += 1
                continue
            if ch not in "els":
                raise UsageError("osascript: illegal option -- %s\n" % ch)
            if j + 1 < len(a):
                value = a[j + 1:]
            elif i + 1 < len(args):
                i += 1
                value = args[i]
            else:
                raise UsageError("osascript: option requires an argument -- %s\n" % ch)
            if ch == "e":
                lines.append(value)
            break
        i += 1
    rest = args[i:]
    if lines:
        return lines, None, rest
    return lines, (rest[0] if rest else None), rest[1:]


def main(argv):
    uid = audit.take_caller()
    gid = audit.caller_gid()
    args = argv[1:]
    prog = os.environ.get("SIMMAC_PROG", "/usr/bin/osascript")
    try:
        lines, _program_file, script_args = parse_args(args)
    except UsageError as e:
        audit.record(prog, args, result="usage")
        sys.stderr.write(str(e) + USAGE)
        return 1
    if not lines:
        audit.record(prog, args, result="unsupported")
        sys.stderr.write("osascript: the simulated osascript runs only scripts given with -e\n")
        return 1
    script = "\n".join(lines)
    try:
        st = applescript.parse(script)
        command = st.resolve(script_args)
    except applescript.ScriptError as e:
        audit.record(prog, args, result="execution error" if isinstance(e, applescript.ExecutionError)
                     else "syntax error")
        sys.stderr.write(e.text() + "\n")
        return 1

    answer, after = dialog.ask() if st.admin else (None, 0)
    extra = {"answer_after": after} if after else {}
    audit.record(prog, args, shell=command, admin=st.admin, answer=answer, **extra)
    if answer in ANSWERS:
        msg, num = ANSWERS[answer]
        sys.stderr.write("%d:%d: execution error: %s (%d)\n" % (st.start, st.end, msg, num))
        return 1

    def become_caller():
        os.setgroups([])
        os.setgid(gid)
        os.setuid(uid)

    env = {k: v for k, v in os.environ.items() if not k.startswith("SIMMAC_")}
    env["PATH"] = "/usr/bin:/bin:/usr/sbin:/sbin"
    if st.admin:
        env.update({"USER": "root", "LOGNAME": "root"})
    r = subprocess.run(["/bin/sh", "-c", command], stdin=subprocess.DEVNULL, capture_output=True,
                       cwd="/", env=env, preexec_fn=None if st.admin else become_caller)
    status = r.returncode if r.returncode >= 0 else 128 - r.returncode
    stdout = r.stdout.decode("utf-8", "surrogateescape")
    stderr = r.stderr.decode("utf-8", "surrogateescape")
    if status == 0:
        text = applescript.result_text(stdout, st.alter_line_endings) + "\n"
        sys.stdout.buffer.write(text.encode("utf-8", "surrogateescape"))
        return 0
    # The message is the command's standard error, else its standard output,
    # with line endings treated as in a result.
    msg = applescript.result_text(stderr if stderr else stdout, st.alter_line_endings)
    text = "%d:%d: execution error: %s (%d)\n" % (st.start, st.end, msg, status)
    sys.stderr.buffer.write(text.encode("utf-8", "surrogateescape"))
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
