"""Other origins' pages inside and beside the game, against the real shell as an ordinary user
(sandboxed, as players run it): they never take the game's window, read the game's host or this
machine's services, retry the game, pass for the game in a popup's title, or keep the window from
closing; and a player's build takes no switch from its command line."""
import os
import time
import unittest

from harness import DemoServer, ShellTestCase, ordinary_user

FAKE_BIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake-bin")


class GuestsTest(ShellTestCase):
    def start_as_player(self, *launch_parameters):
        binary, cwd, env, as_nobody = ordinary_user(self)
        return self.start(*launch_parameters, binary=binary, cwd=cwd, env=env,
                          preexec_fn=as_nobody)

    def stderr_text(self, shell):
        shell.stderr.seek(0)
        return shell.stderr.read().decode()

    def test_a_foreign_frame_neither_takes_the_window_nor_reads_the_game_or_this_machine(self):
        service = DemoServer(port=0, host="127.0.0.3")
        self.addCleanup(service.stop)
        shell = self.start_as_player(f"takeover:1,alive:1,svc:127.0.0.3%3A{service.port}")
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        self.assertTrue(self.server.wait_for_line("event=taker-tried&n=6"))
        self.assertTrue(self.server.wait_for_line("event=read&what=svc"))
        self.assertTrue(self.server.wait_for_line("event=read&what=game"))
        self.assertTrue(self.server.wait_for_line("event=read&what=redirected"))
        # Two reports of the game's page after every try: it is still the one in the window.
        alive = self.server.count("event=game-alive")
        deadline = time.time() + 10
        while self.server.count("event=game-alive") < alive + 2 and time.time() < deadline:
            time.sleep(0.05)
        self.assertGreaterEqual(self.server.count("event=game-alive"), alive + 2)
        self.assertEqual(self.server.count("event=phished"), 0)
        self.assertEqual(self.desktop.title(window), "Varnholt")
        self.assertEqual(self.server.count("event=loaded&search=%3Fid"), 1,
                         "the frame's retry link reloaded the game")
        self.assertEqual(self.server.count("event=read&what=game&ok=0"), 1)
        self.assertEqual(self.server.count("event=read&what=svc&ok=0"), 1)
        self.assertEqual(self.server.count("event=read&what=redirected&ok=0"), 1)
        # Read directly, the game's page is never asked for. Reached by a redirect, it may be:
        # the engine follows a redirect before the guard has judged its next hop, and refuses the
        # answer only afterwards (the read above fails).
        self.assertEqual(self.server.count("GET /frame.html "), 0)
        self.assertEqual(service.count("/frame.html"), 0, "a foreign frame reached 127.0.0.3")
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_foreign_frame_that_blanks_the_game_brings_it_back(self):
        for how in ("blank", "js"):
            with self.subTest(how=how):
                shell = self.start_as_player(f"takeover:{how},alive:1")
                window = self.desktop.wait_for("Varnholt")
                self.assertIsNotNone(window)
                self.assertTrue(self.server.wait_for_line("event=taker-tried&n=0"))
                # The game reports twice after the try, whatever the try did meanwhile.
                tried = len(self.server.lines())
                deadline = time.time() + 15
                while time.time() < deadline and sum(
                        1 for line in self.server.lines()[tried:] if "event=game-alive" in line) < 2:
                    time.sleep(0.05)
                self.assertGreaterEqual(sum(1 for line in self.server.lines()[tried:]
                                            if "event=game-alive" in line), 2)
                self.assertEqual(self.desktop.title(window), "Varnholt")
                self.desktop.request_close(window)
                self.assertEqual(shell.wait(), 0)
                self.server.clear()

    def test_the_lock_holds_only_while_the_window_shows_the_game(self):
        leave = ("http%3A%2F%2Flocalhost%3A" + os.environ["LOGIN_PORT"] +
                 "%2Flogin.html%3Fphished%3Dled")
        shell = self.start_as_player(f"lock:1,hook:1,leave:{leave}")
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=phished&top=true"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=10), 0)
        self.assertEqual(self.server.count("event=foreign-hook"), 0)

    def test_the_cache_scheme_answers_no_page_but_the_caches_own_redirects(self):
        binary, cwd, env, as_nobody = ordinary_user(self)
        for path in ("img/logo.png", "planted/secret.dat"):
            os.makedirs(os.path.join(cwd, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(cwd, path), "w") as planted:
                planted.write("secret")
        shell = self.start("cachescheme:1", binary=binary, cwd=cwd, env=env, preexec_fn=as_nobody)
        window = self.desktop.wait_for("Varnholt")
        for what in ("ads", "planted", "game"):
            self.assertTrue(self.server.wait_for_line(f"event=cacheread&what={what}&"), what)
            self.assertEqual(self.server.count(f"event=cacheread&what={what}&status=0&len=0"), 1,
                             what)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_written_popup_whose_address_moves_ends_nothing(self):
        shell = self.start_as_player("clickpopup:hash")
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=clickable"))
        time.sleep(1)
        self.desktop.click(window, 400, 300)
        self.assertTrue(self.server.wait_for_line("event=popup-made&how=hash"))
        time.sleep(2)
        self.assertIsNone(shell.process.poll(), "the written popup ended the shell")
        for w in self.desktop.windows():
            if self.desktop.title(w).startswith("Varnholt \u2014"):
                self.desktop.request_close(w)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_frame_of_another_port_of_the_login_hosts_name_is_a_guest(self):
        other = DemoServer(port=0)
        self.addCleanup(other.stop)
        shell = self.start_as_player(f"lock:1,hook:1,hostileport:{other.port}")
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(other.wait_for_line("event=hostile-done"))
        time.sleep(1)
        self.assertIsNone(shell.process.poll(), "a frame of another port closed the game")
        self.desktop.request_close(window)
        self.assertTrue(self.server.wait_for_line("event=hook&n=1"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_launch_parameters_too_long_for_an_address_get_the_shells_page(self):
        # A megabyte of Chinese text: each character is nine bytes of the address, three MiB in all.
        value = "\u73a9" * 33000
        shell = self.start_as_player(*[f"k{i}:{value}" for i in range(11)])
        window = self.desktop.wait_for("Varnholt", timeout=20)
        self.assertIsNotNone(window, "the loading window stayed alone")
        self.assertEqual(self.server.count("login.html"), 0)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_players_build_takes_no_switch_from_its_command_line(self):
        # Launch parameters may come from a web page: none is a switch, one of the shell's own
        # options, or more than the pair it spells.
        shell = self.start_as_player(
            "--renderer-cmd-prefix=/usr/bin/touch /tmp/gameshell-renderer-prefix-ran",
            "--proxy-server=http://127.0.0.9:9", "--platform", "offscreen", "a:1#x",
            "b:2&admin", "-type", "--errors-in-window", "--engine-failed=<h1>failed</h1>",
            "--refused-cache-dir=/x", "user:alice")
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window, "a switch stopped the start or hid the window")
        loaded = self.server.wait_for_line("event=loaded")
        self.assertTrue(loaded)
        self.assertIn("%26a%3D1%2523x%26b%3D2%2526admin%26", loaded[0])
        self.assertTrue(loaded[0].endswith("%26user%3Dalice 204 0"), loaded[0])
        self.desktop.request_close(window)
        self.assertEqual(shell.process.wait(timeout=30), 0)
        self.assertFalse(os.path.exists("/tmp/gameshell-renderer-prefix-ran"))
        text = self.stderr_text(shell)
        for ignored in ("--proxy-server=http://127.0.0.9:9", "--platform", "offscreen", "-type",
                        "--errors-in-window"):
            self.assertIn(f'"{ignored}"', text)


if __name__ == "__main__":
    unittest.main()
