"""The Mac's accounts, written into the namespace's /etc: the console user
alice (uid 501, primary group staff 20, an administrator) and the groups a
Mac has that Debian lacks or numbers differently."""
import pwd

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
    return "".join(l for l in debian_text.splitlines(True)
                   if l.split(":")[0] != layout.USER and l.split(":")[2:3] != [str(layout.UID)]) + ALICE


def group_text(debian_text):
    """Debian's groups without those whose names or numbers the Mac's take (but root, whose gid
    wheel shares), then the Mac's."""
    names, gids = {g[0] for g in MAC_GROUPS}, {str(g[1]) for g in MAC_GROUPS}
    keep = [l for l in debian_text.splitlines(True)
            if l.split(":")[0] == "root" or not (l.split(":")[0] in names or l.split(":")[2:3] in ([g] for g in gids))]
    return "".join(keep) + "".join("%s:x:%d:%s\n" % (n, gid, ",".join(m)) for n, gid, m in MAC_GROUPS)


def user_name(uid):
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return str(uid)
