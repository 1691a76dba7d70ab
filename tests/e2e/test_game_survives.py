"""What players meet: a page sized before it loads, a slow or absent server, a dying page
process, a small screen, a page stuck in a script."""
import os
import signal
import time
import unittest

import x11
from harness import DemoServer, ShellTestCase

LOADING_TITLE = "Varnholt - 正在加载"


def renderers(root_pid):
    """The shell's page processes: forked by the engine's zygote (not its unsandboxed one, which
    starts utilities), forking nothing themselves."""
    processes = {}
    for name in os.listdir("/proc"):
        try:
            with open(f"/proc/{name}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{name}/cmdline", "rb") as f:
                processes[int(name)] = (ppid, f.read().split(b"\0"))
        except (OSError, IndexError, ValueError):
            continue
    tree, grew = {root_pid}, True
    while grew:
        grown = {pid for pid, (ppid, _) in processes.items() if ppid in tree} - tree
        tree |= grown
        grew = bool(grown)
    zygotes = {pid for pid in tree if b"--type=zygote" in processes.get(pid, (0, []))[1]
               and b"--no-zygote-sandbox" not in processes[pid][1]}
    parents = {ppid for ppid, _ in processes.values()}
    return sorted(pid for pid in tree
                  if processes.get(pid, (0,))[0] in zygotes and pid not in parents)


class GameSurvivesTest(ShellTestCase):
    def wait_for_count(self, fragment, count, timeout):
        deadline = time.time() + timeout
        while time.time() < deadline and self.server.count(fragment) < count:
            time.sleep(0.05)
        return self.server.count(fragment)

    def test_the_page_sees_the_windows_size_from_its_first_script(self):
        self.start_and_show("size:1")
        self.assertEqual(self.wait_for_count("event=size", 2, 20), 2)
        self.assertEqual(self.server.count("event=size&when=script&w=1440&h=810"), 1)
        self.assertEqual(self.server.count("event=size&when=load&w=1440&h=810"), 1)

    def test_an_image_that_never_arrives_holds_up_neither_the_game_window_nor_the_page(self):
        # The image's answer waits half a minute: the page's load ends only then.
        self.start("img:%2Fgen%2Fstalled.png%3Fv%3D1%26delay%3D30")
        self.assertIsNotNone(self.desktop.wait_for("Varnholt", timeout=12))
        self.assertEqual(self.server.count("event=loaded"), 0)
        self.assertEqual(self.server.count("event=img"), 0)

    def test_no_white_frame_shows_before_the_games_first(self):
        self.start("dark:1")
        window = self.desktop.wait_for("Varnholt", timeout=30)
        self.assertIsNotNone(window)
        _, _, width, height = self.desktop.geometry(window)
        seen = []
        deadline = time.time() + 10
        while time.time() < deadline and (not seen or seen[-1] != (0x18, 0x28, 0x48)):
            try:
                shown = self.desktop.pixel(window, width // 2, height - 20)
            except Exception:  # the window is being mapped
                continue
            if not seen or seen[-1] != shown:
                seen.append(shown)
        self.assertEqual(seen[-1], (0x18, 0x28, 0x48), seen)
        self.assertFalse([c for c in seen if min(c) > 0xE0], seen)
        # The page keeps the light scheme it always had, however dark the window is before it.
        self.assertTrue(self.server.wait_for_line("event=scheme&dark=false"))

    def test_without_a_server_the_shells_page_shows_and_the_game_loads_once_it_answers(self):
        self.server.stop()
        shell = self.start("size:1")
        # The window shows with the shell's own page.
        self.assertIsNotNone(self.desktop.wait_for("Varnholt", timeout=20))
        time.sleep(3)
        type(self).server = DemoServer()
        started = time.time()
        self.assertTrue(self.server.wait_for_line("event=loaded", timeout=45))
        self.assertLess(time.time() - started, 40)
        self.assertIsNone(shell.process.poll())

    def test_on_a_small_screen_the_window_lies_wholly_on_it_at_16_9(self):
        for window_manager in (False, True):
            with self.subTest(window_manager=window_manager):
                self.check_small_screen(window_manager)

    def check_small_screen(self, window_manager):
        display_name, env = x11.start_display(self, "1366x768x24")
        desktop = x11.Desktop(display_name)
        self.addCleanup(desktop.close)
        if window_manager:
            x11.start_window_manager(self, desktop, env)
        self.server.clear()
        shell = self.start("size:1", env=env)
        window = desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        # The game's first script: the window has its size by then (on the system's Chromium it
        # shows the loading page before).
        self.assertTrue(self.server.wait_for_line("event=size&when=script"))
        # Once the window manager has framed it (its title bar included), all of it is on the
        # screen.
        deadline = time.time() + 5
        while time.time() < deadline:
            x, y, width, height = desktop.geometry(desktop.frame(window))
            if min(x, y) >= 0 and x + width <= 1366 and y + height <= 768:
                break
            time.sleep(0.1)
        self.assertGreaterEqual(min(x, y), 0)
        self.assertLessEqual(x + width, 1366)
        self.assertLessEqual(y + height, 768)
        _, _, width, height = desktop.geometry(window)
        self.assertLessEqual(abs(width * 9 - height * 16), 16)
        if window_manager:
            self.assertGreater(desktop.geometry(window)[1], y)  # framed indeed
        # The game lays itself out once: its first script already saw the size it keeps.
        self.assertEqual(self.server.count(f"event=size&when=script&w={width}&h={height}"), 1,
                         self.server.lines())
        desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_page_stuck_in_a_script_still_closes_and_keeps_its_index(self):
        # The browser waits for a locked page's answer to a close however long it is stuck, as it
        # does for any page with a debugger attached: only a signal ends that one.
        for params, end in (("busy:1", "close"), ("busy:1,lock:1", "term"), ("busy:1", "term")):
            with self.subTest(params=params, end=end):
                self.server.clear()
                shell, window = self.start_and_show(params)
                self.assertTrue(self.server.wait_for_line("event=busy"))
                time.sleep(0.6)
                if end == "close":
                    self.desktop.request_close(window)
                else:
                    shell.process.send_signal(signal.SIGTERM)
                self.assertEqual(shell.wait(timeout=8), 0)
                self.assertTrue(os.path.exists(os.path.join(shell.cwd, "fileList.txt")))


if __name__ == "__main__":
    unittest.main()
