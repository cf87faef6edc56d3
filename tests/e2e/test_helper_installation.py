"""The installer as it ships, run as root in the simulated Mac with the real
visudo and the Mac's BSD stat: what it puts in place, the console users it
refuses, and that it refuses (and leaves nothing) wherever someone other than
root could change what sudo runs."""
import os

import e2e_support as e2e

BUNDLE = "/tmp/bundle"
TOOLS = ("drivelark-mount", "ntfs-3g", "ntfsfix", "ntfs-3g.probe")
USERS = ["j.doe-2", "loginwindow", "_mbsetupuser", "bad user", "al$ice", "été"]


class HelperInstallation(e2e.SimMacTestCase):
    def sh(self, script, user="root", **kw):
        return self.run_in(["/bin/bash", "-c", script], user=user, **kw)

    def install(self, *arguments, user="root"):
        args = arguments or (BUNDLE, "/nonexistent")
        return self.run_in(["/bin/bash", e2e.BUNDLE + "/Resources/install_helper.sh"] + list(args), user=user)

    def reset(self, console="alice"):
        self.sh("rm -rf %s %s /etc/sudoers.d/zz-broken; rm -rf %s; mkdir %s; cp %s %s; chmod 0755 /Library/PrivilegedHelperTools; "
                "chown %s /dev/console" % (e2e.HELPER_DIR, e2e.RULE, BUNDLE, BUNDLE,
                                           " ".join(e2e.BUNDLE + "/MacOS/" + t for t in TOOLS), BUNDLE,
                                           "'%s'" % console), check=True)

    def expect_installed(self, user, case):
        r = self.install()
        self.assertEqual((r.returncode, r.stdout), (0, "HELPER_INSTALL_OK\n"), "%s: %s" % (case, r.stderr))
        for tool in TOOLS:
            path = e2e.HELPER_DIR + "/" + tool
            self.assertEqual(self.sh("stat -f '%u %g %Lp' " + path).stdout.strip(), "0 0 755", case)
            self.assertEqual(self.mac.read_bytes(path), self.mac.read_bytes(BUNDLE + "/" + tool), case)
        digest = self.sh("sha256sum < " + BUNDLE + "/drivelark-mount").stdout.split()[0]
        self.assertEqual(self.mac.read_text(e2e.RULE),
                         "%s ALL=(root) NOPASSWD: sha256:%s %s\n" % (user, digest, e2e.HELPER), case)
        self.assertEqual(self.sh("visudo -c").returncode, 0, case)
        self.assertEqual(self.sh("ls -A /etc/sudoers.d " + e2e.HELPER_DIR + " | grep '^\\.'").stdout, "", case)

    def expect_refused(self, why, case, arguments=(), user="root"):
        r = self.install(*arguments, user=user)
        self.assertNotEqual(r.returncode, 0, case)
        self.assertNotIn("HELPER_INSTALL_OK", r.stdout, case)
        self.assertIn(why, r.stderr, case)
        # No tool (also through a link on its path) and no rule.
        self.assertFalse([p for p in [e2e.RULE] + [e2e.HELPER_DIR + "/" + t for t in TOOLS]
                          if os.path.exists(self.mac.host_path(p))], case + ": something was installed")

    def test_installs_pinned_and_refuses_what_others_could_change(self):
        self.mac.write_file("/etc/passwd", self.mac.read_text("/etc/passwd") + "".join(
            "%s:x:%d:20::/nonexistent:/usr/sbin/nologin\n" % (u, 601 + i) for i, u in enumerate(USERS)), owner="root")
        self.reset()
        self.expect_installed("alice", "fresh install")
        self.expect_installed("alice", "second install")
        self.sh("echo '# newer' >> %s/ntfsfix; chown j.doe-2 /dev/console" % BUNDLE, check=True)
        self.expect_installed("j.doe-2", "update for another console user")

        for console in ["root", "4242"] + USERS[1:]:
            self.reset(console)
            self.expect_refused("console", "console user %r" % console)

        for case, change, why in [
            ("world-writable parent", "chmod 1777 /Library/PrivilegedHelperTools",
             "/Library/PrivilegedHelperTools is not owned by root or other users can change it"),
            ("user-owned helper folder", "mkdir %s && chown alice %s" % (e2e.HELPER_DIR, e2e.HELPER_DIR),
             "is not owned by root"),
            ("link on the path", "mkdir /tmp/elsewhere && ln -s /tmp/elsewhere " + e2e.HELPER_DIR,
             "is a symbolic link"),
            ("link in the bundle", "ln -sf /usr/bin/id %s/ntfsfix" % BUNDLE, "ntfsfix is missing or not a plain file"),
            ("tool missing", "rm %s/ntfs-3g.probe" % BUNDLE, "ntfs-3g.probe is missing"),
            ("someone else's broken rule", "echo 'not sudoers syntax' > /etc/sudoers.d/zz-broken && "
             "chmod 440 /etc/sudoers.d/zz-broken", "did not pass visudo's check"),
        ]:
            self.reset()
            self.sh("rm -rf /tmp/elsewhere; " + change, check=True)
            self.expect_refused(why, case)
        self.reset()
        self.expect_refused("usage", "one argument", arguments=(BUNDLE,))
        self.expect_refused("must run as root", "not root", user="alice")
        self.assertEqual(self.sh("ls -A /etc/sudoers.d").stdout, "")


if __name__ == "__main__":
    e2e.main()
