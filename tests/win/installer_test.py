#!/usr/bin/env python3
"""The Windows installer under Wine, in a Wine prefix of its own: installed per user and per
machine, started from its Start-menu entry (against the stand-in for Edge, as msedge.exe on the
path), and uninstalled, leaving the player's downloaded game files.

Usage: installer_test.py <varnholt-setup.exe> <fake_browser.exe>"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
SETUP, FAKE_BROWSER = sys.argv[1], sys.argv[2]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="gs-installer-")
        cls.env = dict(os.environ, WINEPREFIX=os.path.join(cls.dir, "prefix"), WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.wine("wineboot", "-i")
        browser = os.path.join(cls.dir, "browser")
        os.makedirs(browser)
        shutil.copy(FAKE_BROWSER, os.path.join(browser, "msedge.exe"))
        cls.env["WINEPATH"] = windows_path(browser)
        cls.drive = os.path.join(cls.dir, "prefix", "drive_c")

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=cls.env)
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def wine(cls, *args, env=None):
        # Each step until every process it started has ended (an uninstaller runs a copy of
        # itself and returns at once).
        done = subprocess.run([WINE, *args], env=env or cls.env, timeout=300,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        subprocess.run([WINESERVER, "-w"], env=env or cls.env, timeout=300)
        return done

    def found(self, pattern):
        return glob.glob(os.path.join(self.drive, pattern), recursive=True)

    def test_per_user_install_starts_from_its_entry_and_its_uninstall_keeps_the_game_files(self):
        self.assertEqual(self.wine(SETUP, "/S", "/CurrentUser").returncode, 0)
        [shell] = self.found("users/*/AppData/Local/Programs/Varnholt/gameshell.exe")
        [entry] = self.found("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Varnholt.lnk")
        log = os.path.join(self.dir, "browser.log")
        env = dict(self.env, FAKE_BROWSER_LOG=windows_path(log), FAKE_BROWSER_PLAY="game")
        started = self.wine("start", "/wait", "/unix", entry, env=env)
        with open(log, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertIn("closed", lines, started.stdout)
        # The entry's shell ran in the player's cache directory, which it made.
        cwd = [line[4:] for line in lines if line.startswith("cwd ")]
        self.assertEqual(len(cwd), 1, lines)
        self.assertTrue(cwd[0].endswith("\\AppData\\Local\\Varnholt"), cwd)
        [cache] = self.found("users/*/AppData/Local/Varnholt")
        with open(os.path.join(cache, "kept.dat"), "w") as f:
            f.write("downloaded")
        self.wine(os.path.join(os.path.dirname(shell), "Uninstall.exe"), "/S", "/CurrentUser")
        self.assertFalse(os.path.exists(shell))
        self.assertFalse(os.path.exists(entry))
        self.assertFalse(os.path.exists(os.path.dirname(shell)))
        self.assertTrue(os.path.exists(os.path.join(cache, "kept.dat")))

    def test_per_machine_install_and_uninstall(self):
        self.assertEqual(self.wine(SETUP, "/S", "/AllUsers").returncode, 0)
        [shell] = self.found("Program Files/Varnholt/gameshell.exe")
        [entry] = self.found("ProgramData/Microsoft/Windows/Start Menu/Programs/Varnholt.lnk")
        self.wine(os.path.join(os.path.dirname(shell), "Uninstall.exe"), "/S", "/AllUsers")
        self.assertFalse(os.path.exists(shell))
        self.assertFalse(os.path.exists(entry))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
