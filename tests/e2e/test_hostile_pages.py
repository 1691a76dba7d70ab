"""Hostile pages against the real shell: planted plugins and Qt configuration beside it, and links
to schemes the desktop would open."""
import os
import shutil
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from harness import BIN, PORT, ShellTestCase

FAKE_BIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake-bin")
MARKER_PLUGIN = os.environ.get("MARKER_PLUGIN", "")
# Only a developer's build opens the debugging port.
DEVELOPER_BIN = os.environ.get("GAMESHELL_TWO_HOSTS_BIN", "")


class HostilePagesTest(ShellTestCase):
    def control(self, **params):
        url = f"http://127.0.0.1:{PORT}/__control?" + urllib.parse.urlencode(params)
        urllib.request.urlopen(url, timeout=5).read()

    def test_planted_qt_conf_and_plugin_beside_the_shell_are_ignored(self):
        directory = tempfile.mkdtemp(prefix="gs-planted-")
        self.addCleanup(shutil.rmtree, directory, True)
        binary = shutil.copy(BIN, directory)
        # The program of the shell's boxes, its one user of Qt, is looked up beside it.
        shutil.copy(os.path.join(os.path.dirname(BIN), "gameshell-box"), directory)
        os.makedirs(os.path.join(directory, "imageformats"))
        shutil.copy(MARKER_PLUGIN, os.path.join(directory, "imageformats"))
        for name in ("qt.conf", "qt6.conf"):
            with open(os.path.join(directory, name), "w") as conf:
                conf.write("[Paths]\nPrefix=/nonexistent-gameshell-prefix\n")
        shell = self.start(cwd=directory, binary=binary)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window, "the shell did not start beside a planted qt.conf")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        # A refusal to start shows in a window of its own, confined the same way.
        refusal = self.start("--errors-in-window", "--refused-cache-dir=/nonexistent", "--",
                             cwd=directory, binary=binary)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window, "the refusal was not shown in a window")
        self.desktop.request_close(window)
        self.assertNotEqual(refusal.wait(), 0)
        self.assertFalse(os.path.exists(os.path.join(directory, "plugin-loaded")))

    def test_clicked_links_to_other_schemes_reach_no_opener(self):
        log = os.path.join(tempfile.mkdtemp(prefix="gs-opener-"), "opened.txt")
        self.addCleanup(shutil.rmtree, os.path.dirname(log), True)
        env = dict(os.environ, OPENER_LOG=log, PATH=FAKE_BIN + ":" + os.environ["PATH"])
        shell = self.start("links:1", env=env)
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=linkframe-loaded"))
        time.sleep(0.5)
        self.desktop.click(window, 360, 400)
        self.desktop.click(window, 1080, 400)
        time.sleep(2)
        self.assertIsNone(shell.process.poll())
        self.assertFalse(os.path.exists(log), open(log).read() if os.path.exists(log) else "")


if __name__ == "__main__":
    unittest.main()
