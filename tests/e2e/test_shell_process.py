"""The shell as a player starts it: window, start URL, closing, exit code, developer tools."""
import os
import time
import unittest
import urllib.parse

from harness import BIN, ShellTestCase


class ShellProcessTest(ShellTestCase):

    def test_window_title_size_position_and_limits(self):
        _, window = self.start_and_show("title:PageTitle")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        time.sleep(0.3)
        self.assertEqual(self.desktop.title(window), "Varnholt")
        x, y, width, height = self.desktop.geometry(window)
        self.assertEqual((width, height), (1440, 810))
        screen = self.desktop.root.get_geometry()
        self.assertLessEqual(abs(x - (screen.width - width) // 2), 1)
        self.assertLessEqual(abs(y - (screen.height - height) // 2), 1)
        self.assertEqual(self.desktop.size_hints(window), (200, 100, 3840, 2160))

    def test_launch_parameters_reach_the_login_page(self):
        self.start_and_show("extraInfo:user:alice,token:x1", "lang:zh")
        hits = self.server.wait_for_line("GET /login.html")
        self.assertEqual(hits[0].split()[1], "/login.html?id=2&user=alice&token=x1&lang=zh")

    def test_hostile_launch_parameters_never_crash(self):
        cases = [
            ["a" * 100_000],
            ["'\"quoted\":\"v\"", "tab\t:x"],
            ["名前:玩家", "ключ:значение"],
            ["ctl\x01:\x02v", "a:b:c", ":x", "y:"],
        ]
        for args in cases:
            with self.subTest(args=[a[:20] for a in args]):
                self.server.clear()
                shell, window = self.start_and_show(*args)
                hits = self.server.wait_for_line("GET /login.html?id=2")
                self.assertTrue(hits)
                self.desktop.request_close(window)
                self.assertEqual(shell.wait(), 0)

    def test_non_ascii_parameters_arrive_percent_encoded(self):
        self.start_and_show("name:玩家")
        hits = self.server.wait_for_line("GET /login.html")
        target = hits[0].split()[1]
        self.assertEqual(target, "/login.html?id=2&name=%E7%8E%A9%E5%AE%B6")
        self.assertEqual(urllib.parse.parse_qs(target.split("?")[1])["name"], ["玩家"])

    def test_user_close_ends_with_exit_code_zero_and_saves_the_index(self):
        shell, window = self.start_and_show()
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        with open(os.path.join(shell.cwd, "fileList.txt")) as index:
            self.assertEqual(index.read(), "version 1\n")

    def viewable_titles(self):
        return sorted(self.desktop.title(w) for w in self.desktop.windows()
                      if self.desktop.is_viewable(w))

    def test_no_display_ends_with_one_clear_line_and_a_failure_code(self):
        import subprocess
        env = dict(os.environ, DISPLAY=":4099", QT_QPA_PLATFORM="xcb")
        result = subprocess.run([BIN], env=env, capture_output=True, text=True, timeout=30)
        self.assertNotEqual(result.returncode, 0)
        # Under root the shell also says that its pages run without the sandbox.
        lines = [line for line in result.stderr.strip().splitlines() if "sandbox" not in line]
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertTrue(lines[0].startswith("gameshell: the browser engine could not start: "))

    def test_engine_sub_process_command_lines_exit_at_once(self):
        import subprocess
        # Among the switches before "--" only: after it, or without it, "type" is the player's.
        for switch in ("--type=renderer", "--type=gpu-process", "--type=Renderer"):
            with self.subTest(switch=switch):
                started = time.time()
                result = subprocess.run([BIN, switch, "--"], timeout=10)
                self.assertEqual(result.returncode, 0)
                self.assertLess(time.time() - started, 5)
        self.assertEqual(self.server.count("login.html"), 0)


if __name__ == "__main__":
    unittest.main()
