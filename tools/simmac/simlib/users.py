"""The Mac's accounts, written into the namespace's /etc: the console user
alice (uid 501, primary group staff 20, an administrator) and the groups a
Mac has that Debian lacks or numbers differently."""
from . import layout

# name, gid, members -- as on a Mac
MAC_GROUPS = [
    ("wheel", 0, ["root"]),
    ("everyone", 12, [layout.USER]),
    ("staff", 20, [layout.USER]),
    ("localaccounts", 61, [layout.USER]),
    ("admin", 80, ["root", layout.USER]),
]

ALICE = "%s:x:%d:%d:Alice:%s:/bin/bash\n" % (layout.USER, layout.UID, layout.GID, layout.HOME)

# Written over Debian's /etc/sudoers: the Mac's own rules. Password-free
# rules come from files in /etc/sudoers.d (the installer's business).
SUDOERS = """\
# sudoers of the simulated Mac
Defaults\tenv_reset
root\tALL = (ALL) ALL
%admin\tALL = (ALL) ALL
#includedir /private/etc/sudoers.d
"""


def passwd_text(debian_text):
    lines = [l for l in debian_text.splitlines(True)
             if l.split(":")[0] != layout.USER and _field(l, 2) != str(layout.UID)]
    return "".join(lines) + ALICE


def group_text(debian_text):
    taken_names = {g[0] for g in MAC_GROUPS}
    taken_gids = {str(g[1]) for g in MAC_GROUPS}
    keep = []
    for l in debian_text.splitlines(True):
        name, gid = l.split(":")[0], _field(l, 2)
        if name in taken_names or gid in taken_gids:
            if name == "root":      # keep Debian's root group; wheel shares its gid
                keep.append(l)
            continue
        keep.append(l)
    for name, gid, members in MAC_GROUPS:
        keep.append("%s:x:%d:%s\n" % (name, gid, ",".join(members)))
    return "".join(keep)


def _field(line, i):
    parts = line.rstrip("\n").split(":")
    return parts[i] if len(parts) > i else ""


def user_name(uid, passwd_path="/etc/passwd"):
    try:
        with open(passwd_path, encoding="utf-8") as f:
            for l in f:
                p = l.split(":")
                if len(p) > 2 and p[2] == str(uid):
                    return p[0]
    except OSError:
        pass
    return str(uid)


def user_groups(name, gid, group_path="/etc/group"):
    """(gid, [names]) of every group the user is in."""
    out = []
    try:
        with open(group_path, encoding="utf-8") as f:
            for l in f:
                p = l.rstrip("\n").split(":")
                if len(p) < 4:
                    continue
                if p[2] == str(gid) or name in p[3].split(","):
                    out.append(p[0])
    except OSError:
        pass
    return out
