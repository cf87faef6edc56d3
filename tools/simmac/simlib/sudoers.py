"""Reading sudoers the way sudo does, as far as password-free rules go.

Understood: @include/#include, @includedir/#includedir (files whose name
holds a '.' or ends in '~' are skipped, as sudo skips them), comments, line
continuations, User_Alias and Cmnd_Alias, user lists with names, %group,
#uid and ALL, run-as lists such as (root), (ALL), (ALL:ALL), the NOPASSWD:
and PASSWD: tags (which carry on to the following commands of a rule), and
commands given as ALL, a path (any arguments), a path with arguments
(fnmatch patterns; "" for none) or a directory ending in '/', each
optionally pinned by digests (sha224/sha256/sha384/sha512, hex or base64,
several separated by commas): a pinned command matches only a file with
one of those digests. Defaults lines are ignored. As in sudo, the last rule
that matches decides.
"""
import base64
import binascii
import fnmatch
import hashlib
import os
import re
import shlex

DIGEST = re.compile(r"^(sha224|sha256|sha384|sha512):([A-Za-z0-9+/=]+)(,?)$")
_ENDS_WITH_DIGEST = re.compile(r"(^|[\s:])sha(224|256|384|512):[A-Za-z0-9+/=]+\s*$")

TAGS = {"NOPASSWD", "PASSWD", "SETENV", "NOSETENV", "EXEC", "NOEXEC", "LOG_INPUT", "NOLOG_INPUT",
        "LOG_OUTPUT", "NOLOG_OUTPUT", "MAIL", "NOMAIL", "FOLLOW", "NOFOLLOW", "INTERCEPT", "NOINTERCEPT"}


class Rule:
    def __init__(self, users, runas, nopasswd, command, source):
        self.users, self.runas, self.nopasswd, self.command, self.source = users, runas, nopasswd, command, source

    def __repr__(self):
        return "Rule(%r, %r, nopasswd=%r, %r)" % (self.users, self.runas, self.nopasswd, self.command)


def _logical_lines(text):
    buf = ""
    for raw in text.splitlines():
        line = raw.rstrip()
        if line.endswith("\\"):
            buf += line[:-1] + " "
            continue
        yield buf + line
        buf = ""
    if buf:
        yield buf


def _strip_comment(line):
    s = line.strip()
    if re.match(r"^[#@]include(dir)?\s", s):
        return s
    # '#' starts a comment unless it introduces a uid (#501)
    m = re.search(r"(^|\s)#(?!\d)", s)
    return s[:m.start()].strip() if m else s


def read_rules(path="/etc/sudoers", _depth=0):
    rules, aliases = [], {"User_Alias": {}, "Cmnd_Alias": {}, "Runas_Alias": {}, "Host_Alias": {}}
    _read_file(path, rules, aliases, _depth)
    return rules, aliases


def _read_file(path, rules, aliases, depth):
    if depth > 8:
        return
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return
    for line in _logical_lines(text):
        s = _strip_comment(line)
        if not s:
            continue
        m = re.match(r"^[#@]includedir\s+(\S+)", s)
        if m:
            d = _resolve(m.group(1), path)
            try:
                names = sorted(os.listdir(d))
            except OSError:
                continue
            for name in names:
                if "." in name or name.endswith("~"):
                    continue
                p = os.path.join(d, name)
                if os.path.isfile(p):
                    _read_file(p, rules, aliases, depth + 1)
            continue
        m = re.match(r"^[#@]include\s+(\S+)", s)
        if m:
            _read_file(_resolve(m.group(1), path), rules, aliases, depth + 1)
            continue
        if s.startswith("Defaults"):
            continue
        word = s.split(None, 1)[0]
        if word in aliases:
            for part in s.split(None, 1)[1].split(":"):
                if "=" in part:
                    name, _, value = part.partition("=")
                    aliases[word][name.strip()] = [v.strip() for v in _split_top(value)]
            continue
        _parse_user_rule(s, rules, path)


def _resolve(p, including):
    return p if p.startswith("/") else os.path.join(os.path.dirname(including), p)


def _split_top(text):
    """Split at commas outside parentheses and outside digest lists."""
    parts, depth, cur = [], 0, ""
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0 and not _ENDS_WITH_DIGEST.search(cur):
            # (a comma after a digest continues a digest list)
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    parts.append(cur)
    return [p for p in (x.strip() for x in parts) if p]


def _parse_user_rule(s, rules, source):
    if "=" not in s:
        return
    left, _, right = s.partition("=")
    left_words = left.split()
    if len(left_words) < 2:
        return
    users = [u.strip() for u in " ".join(left_words[:-1]).split(",") if u.strip()]
    runas, nopasswd = ["root"], False
    for item in _split_top(right):
        m = re.match(r"^\(([^)]*)\)\s*(.*)$", item)
        if m:
            users_part = m.group(1).split(":")[0].strip()
            runas = [r.strip() for r in users_part.split(",") if r.strip()] or ["root"]
            item = m.group(2)
        while True:
            m = re.match(r"^([A-Z_]+):\s*(.*)$", item)
            if not m or m.group(1) not in TAGS:
                break
            if m.group(1) == "NOPASSWD":
                nopasswd = True
            elif m.group(1) == "PASSWD":
                nopasswd = False
            item = m.group(2)
        rules.append(Rule(users, runas, nopasswd, item.strip(), source))


# --- matching ------------------------------------------------------------------

def _user_matches(entry, user, uid, groups, aliases, depth=0):
    if entry == "ALL":
        return True
    if entry.startswith("!"):
        return False
    if entry.startswith("#") and entry[1:].isdigit():
        return int(entry[1:]) == uid
    if entry.startswith("%"):
        return entry[1:] in groups
    if entry in aliases["User_Alias"] and depth < 8:
        return any(_user_matches(e, user, uid, groups, aliases, depth + 1) for e in aliases["User_Alias"][entry])
    return entry == user


def _same_file(a, b):
    try:
        sa, sb = os.stat(a), os.stat(b)
    except OSError:
        return False
    return (sa.st_dev, sa.st_ino) == (sb.st_dev, sb.st_ino)


def split_digests(words):
    """([(algorithm, digest text)], the words after the digest list)."""
    digests = []
    while words:
        m = DIGEST.match(words[0])
        if not m:
            break
        digests.append((m.group(1), m.group(2)))
        words = words[1:]
        if not m.group(3) and words and words[0] == ",":
            words = words[1:]
    return digests, words


def file_digest(path, algorithm):
    try:
        with open(path, "rb") as f:
            return hashlib.file_digest(f, algorithm).digest()
    except OSError:
        return None


def digest_matches(path, digests):
    """True if the file has one of the digests (hex or base64, as sudo takes them)."""
    for algorithm, text in digests:
        actual = file_digest(path, algorithm)
        if actual is None:
            continue
        if text.lower() == actual.hex():
            return True
        try:
            if base64.b64decode(text + "=" * (-len(text) % 4), validate=True) == actual:
                return True
        except (binascii.Error, ValueError):
            pass
    return False


def _command_matches(pattern, path, args, aliases, depth=0):
    try:
        words = shlex.split(pattern)
    except ValueError:
        return False
    digests, words = split_digests(words)
    if digests and not digest_matches(path, digests):
        return False
    if words == ["ALL"]:
        return True
    if len(words) == 1 and words[0] in aliases["Cmnd_Alias"] and depth < 8:
        return any(_command_matches(c, path, args, aliases, depth + 1) for c in aliases["Cmnd_Alias"][words[0]])
    if not words:
        return False
    cmd, want = words[0], words[1:]
    if cmd.endswith("/"):
        if os.path.dirname(path) + "/" != cmd:
            return False
    elif not (fnmatch.fnmatchcase(path, cmd) or _same_file(cmd, path)):
        return False
    if not want:
        return True                      # a bare path allows any arguments
    if want == [""]:
        return not args                  # "" allows none
    return fnmatch.fnmatchcase(" ".join(args), " ".join(want))


def rules_of(user, uid, groups, runas="root", sudoers="/etc/sudoers"):
    """The rules that apply to the user running commands as runas (None:
    as anyone), and the aliases."""
    rules, aliases = read_rules(sudoers)
    return [r for r in rules if any(_user_matches(u, user, uid, groups, aliases) for u in r.users)
            and (runas is None or runas in r.runas or "ALL" in r.runas)], aliases


def decide(user, uid, groups, path, args, runas="root", sudoers="/etc/sudoers"):
    """None when no rule allows the command; otherwise True when it may run
    without a password, False when sudo would ask for one."""
    rules, aliases = rules_of(user, uid, groups, runas, sudoers)
    verdict = None
    for r in rules:
        if _command_matches(r.command, path, args, aliases):
            verdict = r.nopasswd
    return verdict
