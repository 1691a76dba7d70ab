"""The Debian package as a player gets it: its metadata and files, and the extracted "varnholt"
launcher running the demo game in the player's cache directory.

Environment (set by scripts/test.sh): GAMESHELL_DEB, the package built for the login host
127.0.0.1:LOGIN_PORT; DEMO_ROOT, the demo game."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import PORT, ShellTestCase

DEB = os.environ.get("GAMESHELL_DEB", "")


class PackageTest(ShellTestCase):
    @classmethod
    def setUpClass(cls):
        if not DEB:
            raise unittest.SkipTest("GAMESHELL_DEB is not set")
        cls.server = harness.DemoServer(roots=[os.environ["DEMO_ROOT"]])
        cls.root = tempfile.mkdtemp(prefix="gs-deb-")
        subprocess.run(["dpkg-deb", "-x", DEB, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)
        super().tearDownClass()

    def run_tool(self, *args):
        return subprocess.run(args, capture_output=True, text=True)

    def test_dependencies_files_and_metadata(self):
        fields = self.run_tool("dpkg-deb", "-f", DEB, "Depends", "Recommends").stdout
        depends = [line for line in fields.splitlines() if line.startswith("Depends:")]
        for dependency in ("chromium | google-chrome-stable | microsoft-edge-stable",
                           "fonts-noto-cjk | fonts-wqy-microhei"):
            self.assertIn(dependency, depends[0])
        # The engine is the system's browser, not a library of the package's own.
        self.assertNotIn("webengine", fields)
        listing = self.run_tool("dpkg-deb", "-c", DEB).stdout
        for path in ("./usr/lib/gameshell/gameshell", "./usr/lib/gameshell/gameshell-box",
                     "./usr/bin/varnholt",
                     "./usr/bin/gameshell -> ../lib/gameshell/gameshell",
                     "./usr/share/applications/varnholt.desktop",
                     "./usr/share/metainfo/net.varnholt.Varnholt.metainfo.xml",
                     *(f"./usr/share/icons/hicolor/{size}x{size}/apps/varnholt.png"
                       for size in (16, 24, 32, 48, 128, 256)),
                     "./usr/share/icons/hicolor/scalable/apps/varnholt.svg"):
            self.assertIn(path, listing)
        share = os.path.join(self.root, "usr", "share")
        desktop = self.run_tool("desktop-file-validate",
                                os.path.join(share, "applications", "varnholt.desktop"))
        self.assertEqual(desktop.returncode, 0, desktop.stdout + desktop.stderr)
        metainfo = self.run_tool("appstreamcli", "validate", "--no-net", os.path.join(
            share, "metainfo", "net.varnholt.Varnholt.metainfo.xml"))
        self.assertEqual(metainfo.returncode, 0, metainfo.stdout)
        lintian = self.run_tool("lintian", DEB)
        self.assertNotIn("E: ", lintian.stdout, lintian.stdout)

    def test_varnholt_runs_the_game_in_the_players_cache_directory(self):
        home = tempfile.mkdtemp(prefix="gs-home-")
        self.addCleanup(shutil.rmtree, home, True)
        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"))
        shell = self.start(env=env, binary=os.path.join(self.root, "usr", "bin", "varnholt"))
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        self.assertEqual(window.get_wm_class()[1], "gameshell")  # the entry's StartupWMClass
        cache = os.path.join(home, "cache", "varnholt")
        deadline = time.time() + 20
        while time.time() < deadline and not os.path.exists(os.path.join(cache, "img", "logo.png")):
            time.sleep(0.1)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertTrue(os.path.exists(os.path.join(cache, "fileList.txt")))
        self.assertTrue(os.path.exists(os.path.join(cache, "img", "logo.png")))

    def test_an_unusable_cache_location_is_refused_clearly(self):
        # As from the menu: stderr goes where nobody reads it, so a window says why.
        blocker = tempfile.NamedTemporaryFile()
        env = dict(os.environ, XDG_CACHE_HOME=blocker.name)
        process = subprocess.Popen([os.path.join(self.root, "usr", "bin", "varnholt")], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        window = self.desktop.wait_for("Varnholt", timeout=30)
        self.assertIsNotNone(window, "no window said why the game did not start")
        self.assertIsNone(process.poll())
        self.desktop.request_close(window)
        stderr = process.communicate(timeout=30)[1]
        self.assertNotEqual(process.returncode, 0)
        self.assertEqual(stderr.count("cannot use the game's cache directory"), 1, stderr)
        self.assertIn("varnholt: cannot use the game's cache directory", stderr)

    def test_fontconfig_has_a_font_for_chinese(self):
        self.assertTrue(self.run_tool("fc-list", ":lang=zh").stdout.strip())


if __name__ == "__main__":
    unittest.main()
