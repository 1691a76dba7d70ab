"""What a player's build exposes: no debugging endpoint, pages in the engine's sandbox, and no
cache root in the home directory."""
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import BIN, DemoServer, ShellTestCase, ordinary_user

DEVELOPER_BIN = os.environ.get("GAMESHELL_TWO_HOSTS_BIN", "")


def shell_tree(root_pid):
    """{pid: (parent pid, argv, seccomp mode)} of root_pid and its descendants."""
    processes = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/status") as f:
                status = dict(line.split(":", 1) for line in f if ":" in line)
            with open(f"/proc/{name}/cmdline", "rb") as f:
                argv = [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
        except OSError:
            continue
        processes[int(name)] = (int(status["PPid"]), argv, int(status.get("Seccomp", "0")))
    tree, added = {root_pid}, True
    while added:
        added = False
        for pid, (ppid, _, _) in processes.items():
            if ppid in tree and pid not in tree:
                tree.add(pid)
                added = True
    return {pid: processes[pid] for pid in tree if pid in processes}


def page_processes(tree):
    """The page (renderer) processes of a shell_tree. Chromium's renderers show their whole
    command line as one argument."""
    return [pid for pid, (_, argv, _) in tree.items()
            if "--type=renderer" in " ".join(argv).split()]


class PlayersBuildTest(ShellTestCase):
    def stderr_text(self, shell):
        shell.stderr.seek(0)
        return shell.stderr.read().decode()

    def test_only_a_developers_build_plays_against_another_login_host(self):
        staging = DemoServer(port=0)
        self.addCleanup(staging.stop)
        option = f"--login-host=127.0.0.1:{staging.port}"
        for binary, served in ((BIN, self.server), (DEVELOPER_BIN, staging)):
            with self.subTest(developers=binary == DEVELOPER_BIN):
                self.server.clear()
                staging.clear()
                shell = self.start(option, "--", "user:me", binary=binary)
                window = self.desktop.wait_for("Varnholt")
                self.assertIsNotNone(window)
                self.assertTrue(served.wait_for_line("GET /login.html?id=2&user=me"))
                other = staging if served is self.server else self.server
                self.assertEqual(other.count("GET /login.html"), 0)
                ignored = "ignoring --login-host" in self.stderr_text(shell)
                self.assertEqual(ignored, binary == BIN)
                self.desktop.request_close(window)
                self.assertEqual(shell.wait(), 0)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to start the shell as another user")
    def test_an_ordinary_users_pages_run_in_the_sandbox(self):
        binary, cwd, env, as_nobody = ordinary_user(self)
        shell = self.start(cwd=cwd, binary=binary, env=env, preexec_fn=as_nobody)
        self.assertIsNotNone(self.desktop.wait_for("Varnholt"))
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        tree = shell_tree(shell.process.pid)
        for pid, (_, argv, _) in tree.items():
            self.assertNotIn("--no-sandbox", argv, pid)
        pages = page_processes(tree)
        self.assertTrue(pages, tree)
        for pid in pages:
            self.assertEqual(tree[pid][2], 2, f"page process {pid} runs without seccomp")
        self.assertNotIn("sandbox", self.stderr_text(shell))

    @unittest.skipUnless(os.geteuid() == 0, "the root case")
    def test_root_runs_without_the_sandbox_and_says_so(self):
        shell, window = self.start_and_show()
        self.desktop.request_close(window)
        self.assertEqual(shell.process.wait(timeout=30), 0)
        lines = self.stderr_text(shell).splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("sandbox", lines[0])

    def test_the_home_directory_is_refused_and_left_untouched(self):
        home = tempfile.mkdtemp(prefix="gs-home-")
        self.addCleanup(shutil.rmtree, home, True)
        result = subprocess.run([BIN], cwd=home, env=dict(os.environ, HOME=home),
                                capture_output=True, text=True, timeout=30)
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
        self.assertIn(home, result.stderr)
        self.assertEqual(os.listdir(home), [])
        self.assertEqual(self.server.count("login.html"), 0)
        # Started from the menu (the launcher asks for it): the reason shows in a window as well.
        process = subprocess.Popen([BIN, "--errors-in-window", "--"], cwd=home,
                                   env=dict(os.environ, HOME=home), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True)
        window = self.desktop.wait_for("Varnholt", timeout=30)
        self.assertIsNotNone(window, "no window said why the game did not start")
        self.desktop.request_close(window)
        stderr = process.communicate(timeout=30)[1]
        self.assertEqual(process.returncode, 4)
        self.assertIn(home, stderr)
        self.assertEqual(os.listdir(home), [])


if __name__ == "__main__":
    unittest.main()
