"""Drivelark starts inside the simulated Mac as the console user, writes its
start line to ~/Library/Logs/Drivelark.log and ends cleanly on SIGTERM."""
import datetime
import subprocess

import e2e_support as e2e

BANNER = "Drivelark v1.4 已启动"


class StartBanner(e2e.SimMacTestCase):
    def test_banner_then_clean_exit_on_sigterm(self):
        binary = e2e.drivelark_binary()
        app = self.mac.spawn([binary])
        self.addCleanup(app.kill)

        def banner():
            for line in self.log_lines():
                if line.endswith(BANNER):
                    return line
            if app.poll() is not None:
                raise AssertionError("drivelark exited with %s before its start line:\n%s"
                                     % (app.poll(), app.output()))
            return None

        line = self.mac.wait_for(banner, 20, "the start line in " + e2e.LOG)
        m = e2e.LOG_LINE.match(line)
        self.assertIsNotNone(m, "not a log line: %r" % line)
        self.assertEqual(m.group(2), BANNER)
        stamp = datetime.datetime.strptime(m.group(1), "%Y-%m-%d %H:%M:%S")
        self.assertLess(abs((datetime.datetime.now() - stamp).total_seconds()), 600,
                        "the time stamp is not the local time of now")

        app.terminate()
        try:
            status = app.wait(15)
        except subprocess.TimeoutExpired:
            self.fail("drivelark did not end within 15 s of SIGTERM:\n" + app.output())
        self.assertEqual(status, 0, "drivelark's exit status after SIGTERM:\n" + app.output())


if __name__ == "__main__":
    e2e.main()
