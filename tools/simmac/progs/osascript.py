#!/usr/bin/python3 -I
"""/usr/bin/osascript of the simulated Mac, for `do shell script`.

"with administrator privileges" shows the password dialog: every showing is
counted in the state, and the user's answer is the next one in the
scenario's queue (accept, cancel or wrong); with the queue empty the user
accepts. Accepted, the text runs as root through /bin/sh -c, from /, with
the default PATH, standard input closed; standard output and standard
error are read to their end (a background child that keeps them open keeps
osascript waiting, as on a Mac). Without administrator privileges it runs as
the calling user and nobody is asked.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import applescript, audit  # noqa: E402
from simlib.state import StateFile  # noqa: E402

ANSWERS = {
    "cancel": ("User canceled.", -128),
    "wrong": ("The administrator user name or password was incorrect.", -60007),
}


def ask_password():
    """Shows the dialog once; returns the user's answer."""
    with StateFile().locked() as st:
        st["prompts"] = st.get("prompts", 0) + 1
        queue = st.get("answers", [])
        answer = queue.pop(0) if queue else "accept"
        st["answers"] = queue
    return answer


def parse_args(args):
    lines, files, i = [], [], 0
    while i < len(args):
        a = args[i]
        if a == "-e" and i + 1 < len(args):
            lines.append(args[i + 1])
            i += 2
        elif a.startswith("-s") or a.startswith("-l"):
            i += 2 if a in ("-s", "-l") else 1
        else:
            files.append(a)
            i += 1
    return lines, files


def main(argv):
    uid = audit.take_caller()
    gid = audit.caller_gid()
    args = argv[1:]
    prog = os.environ.get("SIMMAC_PROG", "/usr/bin/osascript")
    lines, files = parse_args(args)
    if not lines:
        audit.record(prog, args, result="unsupported")
        sys.stderr.write("osascript: the simulated osascript runs only scripts given with -e\n")
        return 1
    script = "\n".join(lines)
    try:
        st = applescript.parse(script)
    except applescript.ScriptError as e:
        audit.record(prog, args, result="syntax error")
        sys.stderr.write(e.text() + "\n")
        return 1

    answer = ask_password() if st.admin else None
    audit.record(prog, args, shell=st.command, admin=st.admin, answer=answer)
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
    r = subprocess.run(["/bin/sh", "-c", st.command], stdin=subprocess.DEVNULL, capture_output=True,
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
