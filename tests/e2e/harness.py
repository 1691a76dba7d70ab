"""Starts the demo server and the real gameshell executable for end-to-end tests.

Environment (set by CTest): GAMESHELL_BIN, the executable; LOGIN_PORT, the port of the login host
compiled into it; DEMO_SERVER, the server script; PAGES, the fixture pages served before the
demo game."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

import x11

BIN = os.environ.get("GAMESHELL_BIN", "")
PORT = int(os.environ.get("LOGIN_PORT", "0"))
SERVER = os.environ.get("DEMO_SERVER", "")
ROOTS = [r for r in (os.environ.get("PAGES"), os.environ.get("DEMO_ROOT")) if r]
NOBODY = 65534


def ordinary_user(test, cwd_mode=0o755):
    """What starting the shell as an ordinary user takes when the tests run as root: a copy of the
    executable (and of the program of its boxes) and of the X authority that user can read (the build tree may be private), a
    working directory and a home of its own. Returns (binary, cwd, env, preexec_fn)."""
    place = tempfile.mkdtemp(prefix="gs-user-")
    test.addCleanup(shutil.rmtree, place, True)
    os.chmod(place, 0o755)
    binary = shutil.copy(BIN, place)
    # The shell's boxes come from a program beside it.
    box = os.path.join(os.path.dirname(BIN), "gameshell-box")
    if os.path.exists(box):
        shutil.copy(box, place)
    env = dict(os.environ, HOME=os.path.join(place, "home"))
    if "XAUTHORITY" in os.environ:
        env["XAUTHORITY"] = shutil.copy(os.environ["XAUTHORITY"], place)
        os.chown(env["XAUTHORITY"], NOBODY, NOBODY)
    for sub in ("run", "home"):
        os.mkdir(os.path.join(place, sub))
        os.chown(os.path.join(place, sub), NOBODY, NOBODY)
    os.chmod(os.path.join(place, "run"), cwd_mode)

    def as_nobody():
        os.setgroups([])
        os.setgid(NOBODY)
        os.setuid(NOBODY)

    return binary, os.path.join(place, "run"), env, as_nobody


class DemoServer:
    def __init__(self, port=PORT, roots=ROOTS, host="127.0.0.1", tls=None):
        """`tls`: (certificate file, key file) to serve https."""
        self.dir = tempfile.mkdtemp(prefix="gs-server-")
        self.log_path = os.path.join(self.dir, "requests.log")
        args = [sys.executable, SERVER, "--host", host, "--port", str(port), "--log", self.log_path]
        if tls:
            args += ["--tls-cert", tls[0], "--tls-key", tls[1]]
        for root in roots:
            args += ["--root", root]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("listening on"):
            raise RuntimeError("demo server did not start: " + line)
        self.port = int(line.split()[-1])

    def lines(self):
        with open(self.log_path) as f:
            return [line.rstrip("\n") for line in f]

    def clear(self):
        open(self.log_path, "w").close()

    def wait_for_line(self, fragment, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            hits = [line for line in self.lines() if fragment in line]
            if hits:
                return hits
            time.sleep(0.05)
        return []

    def count(self, fragment):
        return sum(1 for line in self.lines() if fragment in line)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        shutil.rmtree(self.dir, ignore_errors=True)


class Shell:
    """One run of gameshell in a fresh working directory (its cache root)."""

    def __init__(self, *launch_parameters, cwd=None, env=None, binary=None, preexec_fn=None):
        self.owns_cwd = cwd is None
        self.cwd = cwd or tempfile.mkdtemp(prefix="gs-run-")
        self.stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen([binary or BIN, *launch_parameters], cwd=self.cwd, env=env,
                                        preexec_fn=preexec_fn,
                                        stdout=subprocess.DEVNULL, stderr=self.stderr)

    def index_text(self):
        with open(os.path.join(self.cwd, "fileList.txt")) as index:
            return index.read()

    def index_lines(self):
        """The index as its reader takes it: the last line of each path wins."""
        entries = {}
        for line in self.index_text().splitlines():
            key, _, value = line.partition(" ")
            entries[key] = value
        return sorted(f"{key} {value}" for key, value in entries.items() if value != " -")

    def wait(self, timeout=30):
        try:
            code = self.process.wait(timeout=timeout)
            if code < 0 and -code not in (signal.SIGKILL, signal.SIGTERM):
                # A crash the test did not cause: what the shell and the engine said of it.
                self.stderr.seek(0)
                sys.stderr.write(f"\ngameshell ended by signal {-code}; its stderr:\n" +
                                 self.stderr.read().decode(errors="replace")[-20000:] + "\n")
            return code
        finally:
            self.stderr.close()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.stderr.close()
        if self.owns_cwd:
            shutil.rmtree(self.cwd, ignore_errors=True)


class ShellTestCase(unittest.TestCase):
    """Shares one demo server per test class and one X connection per test."""

    @classmethod
    def setUpClass(cls):
        if not BIN or not PORT:
            raise unittest.SkipTest("GAMESHELL_BIN and LOGIN_PORT are not set")
        cls.server = DemoServer()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.clear()
        self.desktop = x11.Desktop()
        self.shells = []

    def tearDown(self):
        for shell in self.shells:
            shell.kill()
        self.desktop.close()
        # Windows of a killed shell take a moment to go away.
        deadline = time.time() + 5
        while time.time() < deadline and self.desktop_titles() & {"Varnholt", "DEVTOOL"}:
            time.sleep(0.05)
        # A window left over would be found by the next test as its own.
        left = self.desktop_titles() & {"Varnholt", "DEVTOOL"}
        if left:
            raise AssertionError(f"windows left after the test: {left}")

    def desktop_titles(self):
        desktop = x11.Desktop()
        try:
            return {desktop.title(w) for w in desktop.windows()}
        finally:
            desktop.close()

    def start(self, *launch_parameters, **kwargs):
        shell = Shell(*launch_parameters, **kwargs)
        self.shells.append(shell)
        return shell

    def start_and_show(self, *launch_parameters):
        shell = self.start(*launch_parameters)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window, "the game window never became visible")
        return shell, window

    def http_get(self, url, timeout=5):
        with urllib.request.urlopen(url, timeout=timeout) as answer:
            return answer.status, answer.read()
