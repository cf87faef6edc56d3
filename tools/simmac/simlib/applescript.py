"""The one AppleScript statement the simulated osascript understands:

    do shell script "<text>" [with administrator privileges]
                             [without altering line endings]

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


class Statement:
    def __init__(self, command, admin, alter_line_endings, start, end):
        self.command, self.admin, self.alter_line_endings = command, admin, alter_line_endings
        self.start, self.end = start, end


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


def parse(script):
    m = _HEAD.match(script)
    if not m:
        start = len(script) - len(script.lstrip())
        raise ScriptError(units(script[:start]), units(script.rstrip()),
                          "The simulated osascript understands only “do shell script”.", -2741)
    start = units(script[:len(script) - len(script.lstrip())])
    i = m.end()
    if i >= len(script) or script[i] != '"':
        raise ScriptError(units(script[:i]), units(script.rstrip()),
                          "Expected expression but found end of script." if i >= len(script)
                          else "The simulated osascript needs a string literal here.", -2741)
    command, i = read_string(script, i)
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
    return Statement(command, admin, alter, start, units(script.rstrip()))


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
