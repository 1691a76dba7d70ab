"""The page's functions driving the real shell: closing, locking, reloading, clearing, opening."""
import os
import shutil
import signal
import tempfile
import time
import unittest

import x11
from harness import BIN, ShellTestCase

LAUNCHER = os.environ.get("TEST_LAUNCHER", "")


class BridgeProcessTest(ShellTestCase):
    def test_locked_close_runs_the_hook_per_request_until_the_game_closes(self):
        shell, window = self.start_and_show("lock:1,hook:1")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        self.desktop.request_close(window)
        self.assertTrue(self.server.wait_for_line("event=hook&n=1"))
        time.sleep(0.5)
        self.assertIsNone(shell.process.poll())
        self.assertTrue(self.desktop.is_viewable(window))
        # The page's prompt confirms on the second request and calls C_closeWindow.
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(self.server.count("event=hook"), 2)

    def test_a_locked_game_that_shows_nothing_on_a_close_has_the_shell_ask(self):
        for params in ("lock:1", "lock:1,hook:throw"):
            with self.subTest(params=params):
                self.server.clear()
                shell, window = self.start_and_show(params)
                self.assertTrue(self.server.wait_for_line("event=loaded"))
                # Esc is "Keep playing": the game stays, and the next close asks again.
                for key, modifiers, quits in (("Escape", (), False), ("q", ("Alt_L",), True)):
                    self.desktop.request_close(window)
                    box = self.wait_for_other("Varnholt", window)
                    self.assertIsNotNone(box, "the shell did not ask")
                    self.assertEqual(self.desktop.transient_for(box), window.id)
                    self.desktop.press_key(box, key, modifiers)
                    if not quits:
                        # Gone with its program, which the shell then hears of.
                        deadline = time.time() + 5
                        while time.time() < deadline and any(
                                other.id == box.id for other in self.desktop.windows()):
                            time.sleep(0.05)
                        self.assertFalse(any(other.id == box.id for other in self.desktop.windows()))
                        self.assertIsNone(shell.process.poll())
                        self.assertTrue(self.desktop.is_viewable(window))
                self.assertEqual(shell.wait(), 0)

    def wait_for_other(self, title, window, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for other in self.desktop.windows():
                if (other.id != window.id and self.desktop.title(other) == title
                        and self.desktop.is_viewable(other)):
                    return other
            time.sleep(0.05)
        return None

    def test_malformed_can_close_calls_change_nothing(self):
        shell, window = self.start_and_show("badcan:1,hook:1")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(self.server.count("event=hook"), 0)

    def test_showexit_reloads_exactly_once_per_run(self):
        shell, window = self.start_and_show("showexit:1")
        deadline = time.time() + 20
        while time.time() < deadline and self.server.count("event=loaded") < 2:
            time.sleep(0.05)
        # The reloaded page asks twice more; neither may reload it again.
        time.sleep(1.5)
        self.assertEqual(self.server.count("event=loaded"), 2)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_clear_cache_starts_a_new_generation(self):
        shell, window = self.start_and_show("clear:7")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        deadline = time.time() + 5
        while time.time() < deadline and not os.path.exists(os.path.join(shell.cwd, "fileList.txt")):
            time.sleep(0.05)
        self.assertEqual(shell.index_text(), "version 7\n")
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(shell.index_text(), "version 7\n")

    def test_without_the_launcher_library_the_player_is_told_in_a_message_box(self):
        for param, caption in (("pay:1", "Zendari支付"), ("auth:1", "UserAuthentic失败")):
            with self.subTest(caption=caption):
                shell, window = self.start_and_show(param)
                box = self.desktop.wait_for(caption, timeout=15)
                self.assertIsNotNone(box, f"no message box titled {caption}")
                self.desktop.request_close(box)
                deadline = time.time() + 5
                while time.time() < deadline and self.desktop.find(caption, visible=True):
                    time.sleep(0.05)
                self.desktop.request_close(window)
                self.assertEqual(shell.wait(), 0)

    def test_the_launcher_library_beside_the_shell_authenticates_and_then_takes_payments(self):
        directory = tempfile.mkdtemp(prefix="gs-launcher-")
        self.addCleanup(shutil.rmtree, directory, True)
        binary = shutil.copy(BIN, directory)
        shutil.copy(os.path.join(os.path.dirname(BIN), "gameshell-box"), directory)
        shutil.copy(LAUNCHER, directory)
        record = os.path.join(directory, "calls.txt")
        env = dict(os.environ, ZD_TEST_RECORD=record, ZD_TEST_RESULT="-2147483648")
        shell = self.start("auth:1,authpay:1", binary=binary, env=env)
        self.assertTrue(self.server.wait_for_line("event=auth&result=-2147483648"))
        deadline = time.time() + 10
        calls = []
        while time.time() < deadline and len(calls) < 2:
            time.sleep(0.05)
            if os.path.exists(record):
                with open(record) as recorded:
                    calls = recorded.read().splitlines()
        # The game window's own handle, and the address as UTF-16, each unit as it came.
        self.assertEqual(calls, ["auth window",
                                 "pay 0068 0074 0074 0070 0073 003a 002f 002f 0070 002e 0074 0065 "
                                 "0073 0074 002f 652f "])
        self.assertIsNone(self.desktop.find("Zendari支付", visible=True))
        self.desktop.request_close(self.desktop.wait_for("Varnholt"))
        self.assertEqual(shell.wait(), 0)

    def test_a_box_opened_while_the_game_loads_stays_above_it_with_the_keyboard(self):
        display_name, env = x11.start_display(self)
        desktop = x11.Desktop(display_name)
        self.addCleanup(desktop.close)
        x11.start_window_manager(self, desktop, env)
        # The page asks for payment as it is parsed; an image keeps its load going meanwhile.
        shell = self.start("pay:1,keys:1,img:%2Fgen%2Fslow.png%3Fdelay%3D8", env=env)
        box = desktop.wait_for("Zendari支付", timeout=20)
        self.assertIsNotNone(box)
        game = desktop.wait_for("Varnholt", timeout=20)
        self.assertIsNotNone(game)
        time.sleep(1.5)
        self.assertTrue(desktop.is_viewable(box))
        self.assertTrue(desktop.stacked_above(box, game))
        self.assertEqual(desktop.focused(), box)
        # The player's Return closes the box; the game gets no key.
        desktop.press_key(None, "Return")
        deadline = time.time() + 5
        while time.time() < deadline and desktop.is_viewable(box):
            time.sleep(0.05)
        self.assertFalse(desktop.is_viewable(box))
        self.assertEqual(self.server.count("event=key"), 0)
        desktop.request_close(game)
        self.assertEqual(shell.wait(), 0)

    def test_a_frame_of_another_host_drives_nothing(self):
        log = os.path.join(self.scratch_directory(), "opener.log")
        env = dict(os.environ, OPENER_LOG=log,
                   PATH=os.path.join(os.path.dirname(__file__), "fake-bin") + ":" + os.environ["PATH"])
        shell = self.start("lock:1,hook:1,hostile:1", env=env)
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=hostile-done"))
        time.sleep(1)
        # The locked game stays open, no box, no popup, nothing opened, the index untouched.
        self.assertIsNone(shell.process.poll())
        self.assertEqual(self.viewable_titles(), {"Varnholt"})
        self.assertFalse(os.path.exists(log))
        self.assertEqual(shell.index_text() if os.path.exists(
            os.path.join(shell.cwd, "fileList.txt")) else "", "")
        # The game's own prompt still decides: the second close request is confirmed.
        self.desktop.request_close(window)
        self.assertTrue(self.server.wait_for_line("event=hook&n=1"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(shell.index_text(), "version 1\n")

    def test_many_payment_calls_without_the_library_show_one_box_at_a_time(self):
        shell, window = self.start_and_show("pays:30")
        self.assertIsNotNone(self.desktop.wait_for("Zendari支付", timeout=15))
        time.sleep(1)
        boxes = [w for w in self.desktop.windows()
                 if self.desktop.title(w) == "Zendari支付" and self.desktop.is_viewable(w)]
        self.assertEqual(len(boxes), 1)
        # Ending the shell does not wait for the player to dismiss it.
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(timeout=10), 0)

    def test_calls_made_together_or_while_a_box_is_open_show_one_box(self):
        shell, window = self.start_and_show("pays:30")
        box = self.desktop.wait_for("Zendari支付", timeout=15)
        self.assertIsNotNone(box)
        self.desktop.request_close(box)
        time.sleep(2)
        self.assertNotIn("Zendari支付", self.viewable_titles(), "a second box followed")
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        # A box open does not keep the player from closing the game.
        shell, window = self.start_and_show("pays:30")
        self.assertIsNotNone(self.desktop.wait_for("Zendari支付", timeout=15))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=15), 0)

    def viewable_titles(self):
        return {self.desktop.title(w) for w in self.desktop.windows() if self.desktop.is_viewable(w)}

    def scratch_directory(self):
        directory = tempfile.mkdtemp(prefix="gs-opener-")
        self.addCleanup(shutil.rmtree, directory, True)
        return directory

    def test_open_hands_only_web_urls_to_the_desktop(self):
        log = os.path.join(self.scratch_directory(), "opener.log")
        env = dict(os.environ, OPENER_LOG=log,
                   PATH=os.path.join(os.path.dirname(__file__), "fake-bin") + ":" + os.environ["PATH"])
        shell = self.start("open:1", env=env)
        self.assertIsNotNone(self.desktop.wait_for("Varnholt"))
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        deadline = time.time() + 5
        while time.time() < deadline and not os.path.exists(log):
            time.sleep(0.05)
        time.sleep(1)
        with open(log) as f:
            self.assertEqual(f.read().splitlines(), ["https://example.invalid/pay"])
        os.remove(log)


if __name__ == "__main__":
    unittest.main()
