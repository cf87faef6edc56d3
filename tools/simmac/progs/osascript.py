#!/usr/bin/python3 -I
"""/usr/bin/osascript of the simulated Mac, for the one script Drivelark runs,
which takes the shell command as an argument so that no outside text becomes
AppleScript source:

    osascript -e 'on run argv' -e 'do shell script (item 1 of argv) with administrator privileges' \\
              -e 'end run' COMMAND

The password dialog shows (simlib/dialog.py: the answers come from the
scenario's queue). Accepted, COMMAND runs as root through /bin/sh -c, from /,
with the default PATH, standard input closed; its output is read to its end
(a background child that keeps it open keeps osascript waiting, as on a Mac).
Options are read as BSD getopt reads them, so a COMMAND that begins with '-'
is taken for an option. Any other script fails loudly.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

from simlib import audit, dialog  # noqa: E402

SCRIPT = ["-e", "on run argv", "-e", "do shell script (item 1 of argv) with administrator privileges",
          "-e", "end run"]
# Where AppleScript's messages place the statement: its second line, in UTF-16 units.
STATEMENT = "%d:%d" % (len(SCRIPT[1]) + 1, len(SCRIPT[1]) + 1 + len(SCRIPT[3]))
ANSWERS = {"cancel": "User canceled. (-128)",
           "wrong": "The administrator user name or password was incorrect. (-60007)"}
USAGE = "usage: osascript [-l language] [-e script] [-i] [-s {ehso}] [programfile] [argument ...]\n"


def result_text(output):
    """What `do shell script` hands back: one trailing line ending removed, the remaining line
    endings turned into returns."""
    for ending in ("\r\n", "\n", "\r"):
        if output.endswith(ending):
            output = output[:-len(ending)]
            break
    return output.replace("\r\n", "\r").replace("\n", "\r")


def main(argv):
    audit.take_caller()
    args, prog = argv[1:], os.environ.get("SIMMAC_PROG", "/usr/bin/osascript")
    ours, rest = args[:len(SCRIPT)] == SCRIPT, args[len(SCRIPT):]
    option = rest[0][1:2] if rest and rest[0].startswith("-") and rest[0] != "--" else ""
    if ours and option and option not in "eils":
        audit.record(prog, args, result="usage")
        sys.stderr.write("osascript: illegal option -- %s\n%s" % (option, USAGE))
        return 1
    rest = rest[1:] if rest[:1] == ["--"] else rest
    if not ours or option or len(rest) != 1:
        audit.record(prog, args, result="unsupported")
        sys.stderr.write("osascript (simulated): only Drivelark's script with one command is simulated, not %r\n"
                         % args)
        return 1
    command = rest[0]
    answer, after = dialog.ask()
    audit.record(prog, args, shell=command, answer=answer, **({"answer_after": after} if after else {}))
    if answer in ANSWERS:
        sys.stderr.write("%s: execution error: %s\n" % (STATEMENT, ANSWERS[answer]))
        return 1
    env = {k: v for k, v in os.environ.items() if not k.startswith("SIMMAC_")}
    env.update({"PATH": "/usr/bin:/bin:/usr/sbin:/sbin", "USER": "root", "LOGNAME": "root"})
    r = subprocess.run(["/bin/sh", "-c", command], stdin=subprocess.DEVNULL, capture_output=True, cwd="/", env=env)
    status = r.returncode if r.returncode >= 0 else 128 - r.returncode
    out, err = (text.decode("utf-8", "surrogateescape") for text in (r.stdout, r.stderr))
    if status == 0:
        sys.stdout.buffer.write((result_text(out) + "\n").encode("utf-8", "surrogateescape"))
        return 0
    # The message is the command's standard error, else its standard output, with line endings
    # treated as in a result.
    text = "%s: execution error: %s (%d)\n" % (STATEMENT, result_text(err or out), status)
    sys.stderr.buffer.write(text.encode("utf-8", "surrogateescape"))
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
