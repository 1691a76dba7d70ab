"""The package as a player installs it, on a Debian release other than the one it was built on
(scripts/check-debian13.sh runs this inside a clean Debian 13 root): the game window, the cache
filled and served from disk on the second run, the bridge, a close with 0, pages in the sandbox
and the window's size from the first script, as an ordinary user.
Environment: LOGIN_PORT, the login port the package was built for; DEMO_SERVER, PAGES, DEMO_ROOT."""
import os
import shutil
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from harness import NOBODY, PORT, ShellTestCase
from test_players_build import page_processes, shell_tree

VARNHOLT = "/usr/bin/varnholt"
RESOURCES = ["/gen/d13/a.png?v=1", "/gen/d13/b.dat?v=2", "/img/logo.png"]


class InstalledPackageTest(ShellTestCase):
    def setUp(self):
        super().setUp()
        self.home = tempfile.mkdtemp(prefix="gs-player-")
        self.addCleanup(shutil.rmtree, self.home, True)
        os.chmod(self.home, 0o755)
        os.chown(self.home, NOBODY, NOBODY)
        self.env = dict(os.environ, HOME=self.home)
        self.env.pop("XDG_CACHE_HOME", None)
        if "XAUTHORITY" in os.environ:
            self.env["XAUTHORITY"] = shutil.copy(os.environ["XAUTHORITY"], self.home)
            os.chown(self.env["XAUTHORITY"], NOBODY, NOBODY)

    def play(self, *launch_parameters):
        def as_nobody():
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)

        return self.start(*launch_parameters, binary=VARNHOLT, cwd=self.home, env=self.env,
                          preexec_fn=as_nobody)

    def control(self, **params):
        url = f"http://127.0.0.1:{PORT}/__control?" + urllib.parse.urlencode(params)
        urllib.request.urlopen(url, timeout=5).read()

    def test_the_game_runs_caches_and_closes_as_a_player(self):
        self.control(manifest=",".join(RESOURCES))
        cache = os.path.join(self.home, ".cache", "varnholt")
        # First run: the window, every resource fetched once and stored.
        shell = self.play("cache:1")
        window = self.desktop.wait_for("Varnholt", timeout=60)
        self.assertIsNotNone(window, "no game window")
        self.assertTrue(self.server.wait_for_line("event=round-done", timeout=60))
        got = [line for line in self.server.lines() if "event=got&round=1&" in line]
        self.assertEqual(len(got), len(RESOURCES))
        self.assertTrue(all("status=200&" in line for line in got), got)
        for resource in RESOURCES:
            path = os.path.join(cache, urllib.parse.urlsplit(resource).path.lstrip("/"))
            self.wait_for_file(path)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=30), 0)
        self.assertIn("version 1", open(os.path.join(cache, "fileList.txt")).read())
        # Second run: served from disk, not a request for them reaches the server.
        self.server.clear()
        shell = self.play("cache:1")
        window = self.desktop.wait_for("Varnholt", timeout=60)
        self.assertTrue(self.server.wait_for_line("event=round-done", timeout=60))
        for resource in RESOURCES:
            self.assertEqual(self.server.count(f"GET {resource} "), 0, resource)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=30), 0)

    def test_sandboxed_pages_the_windows_size_and_the_close_lock(self):
        shell = self.play("lock:1,hook:1,size:1")
        window = self.desktop.wait_for("Varnholt", timeout=60)
        self.assertTrue(self.server.wait_for_line("event=loaded", timeout=60))
        # The page has the window's size from its first script on.
        self.assertTrue(self.server.wait_for_line("event=size&when=script&w=1440&h=810"))
        # Every page process in the engine's sandbox (seccomp), none told to go without.
        tree = shell_tree(shell.process.pid)
        pages = page_processes(tree)
        self.assertTrue(pages, tree)
        for pid in pages:
            self.assertEqual(tree[pid][2], 2, f"page process {pid} runs without seccomp")
        # (Chromium's processes show their whole command line as one argument.)
        self.assertFalse(any("--no-sandbox" in " ".join(argv).split() for _, argv, _ in tree.values()))
        self.desktop.request_close(window)
        self.assertTrue(self.server.wait_for_line("event=hook&n=1"))
        self.assertIsNone(shell.process.poll())
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=30), 0)

    def wait_for_file(self, path, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline and not os.path.exists(path):
            time.sleep(0.1)
        self.assertTrue(os.path.exists(path), path)


if __name__ == "__main__":
    unittest.main()
