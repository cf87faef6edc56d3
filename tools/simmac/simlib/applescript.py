"""The AppleScript the simulated osascript understands: one statement,

    do shell script <direct parameter> [with administrator privileges]
                                       [without altering line endings]

either alone, or as the only statement of a run handler that takes the
script's arguments:

    on run argv
    do shell script (item 1 of argv) with administrator privileges
    end run

The direct parameter is a string literal, or (item N of <the handler's
parameter>), parentheses optional. Keywords are read case-insensitively and
with any blanks, as AppleScript reads them.

String literals are read as AppleScript reads them: \\ and \" stand for a
backslash and a double quote, \n \r \t for line feed, return and tab; any
other backslash is a syntax error, as is a literal that never ends.
Offsets in messages count characters as AppleScript does (UTF-16 units).
"""
import re


class ScriptError(Exception):
    def __init__(self, start, end, message, number):
        super().__init__(message)
        self.start, self.end, self.message, self.number = start, end, message, number

    def text(self):
        return "%d:%d: syntax error: %s (%d)" % (self.start, self.end, self.message, self.number)


class ExecutionError(ScriptError):
    def text(self):
        return "%d:%d: execution error: %s (%d)" % (self.start, self.end, self.message, self.number)


class Statement:
    """command is the literal's text; for (item N of argv) it is None until
    resolve() has looked the item up in the script's arguments."""

    def __init__(self, command, admin, alter_line_endings, start, end, item=None):
        self.command, self.admin, self.alter_line_endings = command, admin, alter_line_endings
        self.start, self.end = start, end
        self.item = item      # (index, parameter name as written, name expected, start, end)

    def resolve(self, argv):
        """The shell text, given the script's arguments; raises ExecutionError
        where AppleScript would fail at run time."""
        if self.item is None:
            return self.command
        index, written, expected, start, end = self.item
        if expected is None or written.lower() != expected.lower():
            raise ExecutionError(start, end, "The variable %s is not defined." % written, -2753)
        n = len(argv)
        if index == 0 or not -n <= index <= n:
            shown = "{" + ", ".join('"%s"' % a.replace("\\", "\\\\").replace('"', '\\"') for a in argv) + "}"
            raise ExecutionError(start, end, "Can’t get item %d of %s." % (index, shown), -1728)
        self.command = argv[index - 1 if index > 0 else index]
        return self.command


ESCAPES = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}


def units(text):
    """Length in UTF-16 code units."""
    return len(text.encode("utf-16-le")) // 2


def read_string(script, i):
    """Reads the literal whose opening quote is at i; returns (text, index after it)."""
    out = []
    j = i + 1
    while j < len(script):
        ch = script[j]
        if ch == '"':
            return "".join(out), j + 1
        if ch == "\\":
            nxt = script[j + 1] if j + 1 < len(script) else ""
            if nxt not in ESCAPES:
                raise ScriptError(units(script[:j]), units(script[:j + 2]),
                                  "Expected “\"” but found unknown token.", -2741)
            out.append(ESCAPES[nxt])
            j += 2
            continue
        out.append(ch)
        j += 1
    raise ScriptError(units(script[:i]), units(script), "Expected “\"” but found end of script.", -2741)


_HEAD = re.compile(r"\s*do\s+shell\s+script\s*", re.IGNORECASE)
_PARAMS = [
    (re.compile(r"with\s+administrator\s+privileges\b\s*", re.IGNORECASE), "admin"),
    (re.compile(r"without\s+altering\s+line\s+endings\b\s*", re.IGNORECASE), "raw"),
    (re.compile(r"altering\s+line\s+endings\s+false\b\s*", re.IGNORECASE), "raw"),
]
_ITEM = re.compile(r"(\(\s*)?item\s+(-?\d+)\s+of\s+([A-Za-z_]\w*)\s*(\))?\s*", re.IGNORECASE)
_RUN_HEAD = re.compile(r"\s*on\s+run(?:[ \t]+([A-Za-z_]\w*))?[ \t]*[\r\n]", re.IGNORECASE)
_RUN_TAIL = re.compile(r"[\r\n]\s*end(?:[ \t]+run)?\s*$", re.IGNORECASE)


def parse(script):
    """The script's one statement, whether alone or in a run handler."""
    head = _RUN_HEAD.match(script)
    if head:
        tail = _RUN_TAIL.search(script, head.end() - 1)
        if not tail:
            raise ScriptError(units(script.rstrip()), units(script.rstrip()),
                              "Expected “end” or “end run” but found end of script.", -2741)
        return _statement(script[:tail.start()], head.end(), head.group(1))
    return _statement(script, 0, None)


def _statement(script, i, param):
    """Parses the statement in script[i:]; param is the run handler's
    parameter name (None outside a handler). Offsets count from the start of
    the whole script."""
    body = script[i:]
    start = i + len(body) - len(body.lstrip())
    m = _HEAD.match(script, i)
    if not m:
        raise ScriptError(units(script[:start]), units(script.rstrip()),
                          "The simulated osascript understands only “do shell script”.", -2741)
    i = m.end()
    command, item = None, None
    im = _ITEM.match(script, i)
    if i < len(script) and script[i] == '"':
        command, i = read_string(script, i)
    elif im and bool(im.group(1)) == bool(im.group(4)):
        first = im.start() + len(im.group(1) or "")     # the range is "item N of x", parentheses aside
        item = (int(im.group(2)), im.group(3), param, units(script[:first]), units(script[:im.end(3)]))
        i = im.end()
    else:
        raise ScriptError(units(script[:i]), units(script.rstrip()),
                          "Expected expression but found end of script." if i >= len(script)
                          else "The simulated osascript needs a string literal or (item N of argv) here.", -2741)
    admin, alter = False, True
    rest = script[i:]
    pos = i
    rest_stripped = rest.lstrip()
    pos += len(rest) - len(rest_stripped)
    while rest_stripped:
        for rx, what in _PARAMS:
            mm = rx.match(rest_stripped)
            if mm:
                if what == "admin":
                    admin = True
                else:
                    alter = False
                pos += mm.end()
                rest_stripped = rest_stripped[mm.end():]
                break
        else:
            word = re.match(r"\S+", rest_stripped).group(0)
            raise ScriptError(units(script[:pos]), units(script[:pos + len(word)]),
                              "Expected end of line but found identifier.", -2741)
    return Statement(command, admin, alter, units(script[:start]), units(script.rstrip()), item)


def result_text(stdout, alter_line_endings=True):
    """What `do shell script` hands back: one trailing line ending removed,
    the remaining line endings turned into returns."""
    if stdout.endswith("\r\n"):
        stdout = stdout[:-2]
    elif stdout.endswith("\n") or stdout.endswith("\r"):
        stdout = stdout[:-1]
    if alter_line_endings:
        stdout = stdout.replace("\r\n", "\r").replace("\n", "\r")
    return stdout
