"""The password-free rules of the simulated Mac's sudo: the one form that
Drivelark's installer writes into /etc/sudoers.d,

    USER ALL=(root) NOPASSWD: sha256:HEX /path/to/tool

which lets USER run that file, with any arguments, as root without a
password while the file's SHA-256 digest is HEX. /etc/sudoers itself
(users.SUDOERS) asks every administrator for a password and includes the
folder, whose files are skipped, as sudo skips them, when their names hold a
'.' or end in '~'. A line of any other form fails loudly (RuleError): what
sudo would make of it is not simulated.
"""
import hashlib
import os
import re

RULES = "/etc/sudoers.d"
RULE = re.compile(r"^(\S+) ALL=\(root\) NOPASSWD: sha256:([0-9a-f]{64}) (/\S+)$")


class RuleError(Exception):
    pass


def rules():
    """[(user, digest, path)] of the rules in force."""
    found = []
    for name in sorted(os.listdir(RULES)):
        path = os.path.join(RULES, name)
        if "." in name or name.endswith("~") or not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    m = RULE.match(line.strip())
                    if not m:
                        raise RuleError("%s holds a rule the simulated sudo cannot read: %r" % (path, line))
                    found.append(m.groups())
    return found


def without_password(user, path):
    """True when a rule lets user run the file at path as root without a password."""
    for who, digest, command in rules():
        if (who, command) == (user, path):
            with open(path, "rb") as f:
                if hashlib.file_digest(f, "sha256").hexdigest() == digest:
                    return True
    return False
