"""The shell on the system's Chromium, driven over its pipe: one window titled as the game, the
page functions for game documents only, one life for the shell and the browser."""
import os
import re
import shutil
import signal
import socket
import tempfile
import threading
import time
import unittest

import harness
import x11
from harness import PORT, ShellTestCase

CHROMIUM_BIN = os.environ.get("GAMESHELL_BIN", "")
DEVELOPER_BIN = os.environ.get("GAMESHELL_TWO_HOSTS_BIN", "")


def descendants(root_pid):
    children = {}
    for name in os.listdir("/proc"):
        try:
            with open(f"/proc/{name}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(ppid, []).append(int(name))
        except (OSError, IndexError, ValueError):
            continue
    found, todo = set(), [root_pid]
    while todo:
        for child in children.get(todo.pop(), []):
            if child not in found:
                found.add(child)
                todo.append(child)
    return found


def browser_processes(profile_marker="gameshell-browser-"):
    found = set()
    for name in os.listdir("/proc"):
        try:
            with open(f"/proc/{name}/cmdline", "rb") as f:
                if profile_marker.encode() in f.read():
                    found.add(int(name))
        except OSError:
            continue
    return found


def free_port():
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


class ChromiumEngineTest(ShellTestCase):
    @classmethod
    def setUpClass(cls):
        if not CHROMIUM_BIN:
            raise unittest.SkipTest("GAMESHELL_BIN is not set")
        super().setUpClass()

    def start(self, *launch_parameters, **kwargs):
        kwargs.setdefault("binary", CHROMIUM_BIN)
        return super().start(*launch_parameters, **kwargs)

    def wait_for_count(self, fragment, count, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline and self.server.count(fragment) < count:
            time.sleep(0.05)
        return self.server.count(fragment)

    def wait_gone(self, pids, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline and any(os.path.exists(f"/proc/{p}") for p in pids):
            time.sleep(0.05)
        return {p for p in pids if os.path.exists(f"/proc/{p}")}

    def test_one_window_titled_as_the_game_with_the_page_functions(self):
        shell, window = self.start_and_show("functions:1,title:Hello,size:1")
        self.assertTrue(self.server.wait_for_line("event=functions&ok=true"))
        # The game's page has its size from its first script on.
        self.assertTrue(self.server.wait_for_line("event=size&when=script&w=1440&h=810"))
        time.sleep(0.5)
        self.assertEqual(self.desktop.title(window), "Varnholt")
        self.assertEqual(window.get_wm_class()[1], "gameshell")
        # The game's icon, its 32-pixel drawing first, whatever the page's.
        icon = window.get_full_property(self.desktop.display.intern_atom("_NET_WM_ICON"),
                                        x11.X.AnyPropertyType)
        self.assertEqual(list(icon.value[:2]), [32, 32])
        # No port: the browser's protocol runs over its pipe alone.
        browser = descendants(shell.process.pid)
        for pid in browser:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                self.assertNotIn(b"--remote-debugging-port", f.read())
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(self.wait_gone(browser), set())

    def test_a_game_pages_own_images_are_stored_on_the_first_run(self):
        # Asked for as the page's markup is read: before the browser says that the page has the
        # shell's world, where the cache's own fetch runs.
        shell, window = self.start_and_show("parsed:1")
        logo = os.path.join(shell.cwd, "img", "logo.png")
        deadline = time.time() + 20
        while time.time() < deadline and not os.path.exists(logo):
            time.sleep(0.05)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertIn("img/logo.png v=1", shell.index_lines())
        self.assertEqual(self.server.count("GET /img/logo.png?v=1 "), 1)

    def test_another_origins_documents_and_workers_open_no_websocket(self):
        # Where the handshakes would go: a game host's WebSocket server, or a service on this
        # machine. It notes the path each asked for.
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        self.addCleanup(listener.close)
        paths = []

        def accept():
            while True:
                try:
                    connection, _ = listener.accept()
                except OSError:
                    return
                with connection:
                    connection.settimeout(5)
                    try:
                        paths.append(connection.recv(4096).split(b" ")[1].decode())
                    except (OSError, IndexError):
                        pass

        threading.Thread(target=accept, daemon=True).start()
        shell, window = self.start_and_show(f"wsport:{listener.getsockname()[1]}")
        # The advertisement's window, a fresh frame of it and its worker have none to open.
        self.assertTrue(self.server.wait_for_line("event=wsad&opened=&worker=refused"))
        # Nor has a service worker it registered.
        self.assertTrue(self.server.wait_for_line("event=wsad-sw&worker=refused"))
        deadline = time.time() + 10
        while time.time() < deadline and "/game" not in paths:
            time.sleep(0.05)
        self.assertEqual(paths, ["/game"])
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_an_advertisements_history_move_leaves_the_game_in_its_window(self):
        # Its frame tries the window's address, a form, links, a blob and history.back(). The
        # shell's first page must be out of the history by then, though the browser takes the
        # game's document into it a moment after the page says it came.
        shell, window = self.start_and_show("takeover:1,alive:1")
        self.assertTrue(self.server.wait_for_line("event=taker-tried&n=6"))
        alive = self.server.count("event=game-alive")
        self.assertGreaterEqual(self.wait_for_count("event=game-alive", alive + 3, timeout=10),
                                alive + 3)
        self.assertEqual(self.server.count("event=phished"), 0)
        self.assertEqual(self.server.count("event=loaded&search=%3Fid"), 1)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_another_origins_frame_reaches_no_page_function(self):
        # A frame on this machine at another port (the same site, so the same page process) and
        # one of another host call every function they can reach, the binding itself included.
        other_port = free_port()
        server = harness.DemoServer(port=other_port)
        self.addCleanup(server.stop)
        shell, window = self.start_and_show(f"hostile:1,hostileport:{other_port},placegame:1")
        self.assertTrue(self.server.wait_for_line("event=hostile-done"))
        self.assertTrue(server.wait_for_line("event=hostile-done"))
        # The game document it placed has the functions, but the shell hears none of its calls.
        self.assertTrue(self.server.wait_for_line("event=placed&functions=function"))
        time.sleep(1)
        self.assertIsNone(shell.process.poll())
        # The game's own call still closes it.
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_locked_game_runs_its_hook_and_closes_itself_and_the_browser_with_it(self):
        shell, window = self.start_and_show("lock:1,hook:1")
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        browser = descendants(shell.process.pid)
        self.desktop.request_close(window)
        self.assertTrue(self.server.wait_for_line("event=hook&n=1"))
        time.sleep(0.5)
        self.assertIsNone(shell.process.poll())
        self.assertTrue(self.desktop.is_viewable(window))
        # The game's exit prompt confirms the second close request (its report of it may not
        # outlive the close).
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        self.assertEqual(self.wait_gone(browser), set())

    def test_the_lock_holds_only_while_the_window_shows_the_game(self):
        # The locked game leads its window to another origin: that page's close is not held.
        leave = f"http%3A%2F%2Flocalhost%3A{PORT}%2Flogin.html%3Fphished%3Dled"
        shell, window = self.start_and_show(f"lock:1,hook:1,leave:{leave}")
        self.assertTrue(self.server.wait_for_line("event=phished&top=true"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=10), 0)
        self.assertEqual(self.server.count("event=foreign-hook"), 0)

    def test_one_life_for_shell_and_browser(self):
        with self.subTest("the browser dies: the shell ends, saying so"):
            self.server.clear()
            shell, _ = self.start_and_show()
            # Once the game is there: a browser that dies before it answered never started.
            self.assertTrue(self.server.wait_for_line("event=loaded"))
            browser = descendants(shell.process.pid)
            os.killpg(min(browser), signal.SIGKILL)
            self.assertEqual(shell.wait(), 1)
            shell.stderr = open(os.devnull, "rb")
        with self.subTest("the shell is killed: no browser stays"):
            shell, _ = self.start_and_show()
            browser = descendants(shell.process.pid)
            shell.process.kill()
            shell.process.wait()
            self.assertEqual(self.wait_gone(browser), set())
        with self.subTest("a signal ends both, the profile removed"):
            before = set(os.listdir("/tmp"))
            shell, _ = self.start_and_show()
            browser = descendants(shell.process.pid)
            shell.process.send_signal(signal.SIGTERM)
            self.assertEqual(shell.wait(), 0)
            self.assertEqual(self.wait_gone(browser), set())
            self.assertEqual({d for d in set(os.listdir("/tmp")) - before
                              if d.startswith("gameshell-browser-")}, set())
        with self.subTest("a page stuck in a script closes with its window"):
            self.server.clear()
            shell, window = self.start_and_show("busy:1")
            self.assertTrue(self.server.wait_for_line("event=busy"))
            time.sleep(0.6)
            self.desktop.request_close(window)
            self.assertEqual(shell.wait(timeout=8), 0)

    def test_on_a_small_screen_the_page_keeps_the_games_shape_from_its_first_script(self):
        display_name, env = x11.start_display(self, "1366x768x24")
        shell = self.start("size:1", env=env)
        self.assertTrue(self.server.wait_for_line("event=size&when=script"))
        line = next(l for l in self.server.lines() if "event=size&when=script" in l)
        width, height = (int(v) for v in re.search(r"w=(\d+)&h=(\d+)", line).groups())
        self.assertLessEqual(width, 1366)
        self.assertLessEqual(height, 768)
        self.assertLessEqual(abs(width * 9 - height * 16), 16)
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)

    def raise_window(self, window):
        window.configure(stack_mode=x11.X.Above)
        self.desktop.display.sync()
        time.sleep(0.3)

    def shown_windows_of_the_shell(self):
        return [w for w in self.desktop.windows()
                if self.desktop.is_viewable(w) and (w.get_wm_class() or ("", ""))[1] == "gameshell"]

    def press_until_heard(self, window, key, count=1, or_loads=None):
        """The page has the keyboard a moment after its window has the focus: pressed until it
        hears the key (or, with `or_loads`, until the game has loaded that often: a reload the key
        started may cut the page's report of it)."""
        for _ in range(20):
            self.desktop.focus(window)
            self.desktop.press_key(None, key)
            if self.wait_for_count(f"event=key&key={key}", count, timeout=0.5) >= count:
                return
            if or_loads and self.wait_for_count("event=loaded", or_loads, timeout=1) >= or_loads:
                return
        self.fail(f"the page never heard {key}")

    def test_a_players_build_has_no_reload_and_no_developer_tools_a_developers_has_both(self):
        for build, binary in (("player", CHROMIUM_BIN), ("developer", DEVELOPER_BIN)):
            with self.subTest(build=build):
                # The last shell's browser may still be going: its window must not be taken for
                # this one's, nor its loads counted as this one's (they name their own tag).
                deadline = time.time() + 10
                while time.time() < deadline and self.shown_windows_of_the_shell():
                    time.sleep(0.05)
                tag = f"{build}{os.getpid()}"

                def loads(at_least=0, timeout=10):
                    deadline = time.time() + timeout
                    while True:
                        n = sum(1 for line in self.server.lines()
                                if "event=loaded" in line and tag in line)
                        if n >= at_least or time.time() >= deadline:
                            return n
                        time.sleep(0.05)

                self.server.clear()
                shell = self.start(f"keys:1,log:hello%20there,tag:{tag}", binary=binary)
                window = self.desktop.wait_for("Varnholt")
                self.assertEqual(loads(1), 1)
                developer = build == "developer"
                # The game hears the keys either way; only a developer's browser acts on them.
                self.press_until_heard(window, "F5", or_loads=2 if developer else None)
                if developer:
                    self.assertEqual(loads(2), 2)
                self.press_until_heard(window, "F12")
                # A developer's tools open in a window of their own; a player's never do.
                deadline = time.time() + (15 if developer else 2)
                while time.time() < deadline and len(self.shown_windows_of_the_shell()) < 2:
                    time.sleep(0.1)
                self.assertEqual(loads(), 2 if developer else 1)
                self.assertEqual(len(self.shown_windows_of_the_shell()), 2 if developer else 1)
                shell.process.send_signal(signal.SIGTERM)
                shell.process.wait(timeout=30)
                shell.stderr.seek(0)
                said = shell.stderr.read().decode(errors="replace")
                self.assertEqual(shell.wait(), 0)
                # Page console lines: a developer's on stderr, as the page said them.
                self.assertEqual("said hello there" in said, developer, said[-2000:])
                self.assertEqual("js: info: http://127.0.0.1:" in said, developer)

    def test_f2_opens_a_developers_tools_and_the_page_still_hears_it(self):
        for build, binary in (("player", CHROMIUM_BIN), ("developer", DEVELOPER_BIN)):
            with self.subTest(build=build):
                self.server.clear()
                shell = self.start("keys:1", binary=binary)
                window = self.desktop.wait_for("Varnholt")
                self.assertTrue(self.server.wait_for_line("event=loaded"))
                self.press_until_heard(window, "F2")
                windows = 2 if build == "developer" else 1
                deadline = time.time() + (15 if windows == 2 else 2)
                while time.time() < deadline and len(self.shown_windows_of_the_shell()) < 2:
                    time.sleep(0.1)
                self.assertEqual(len(self.shown_windows_of_the_shell()), windows)
                shell.process.send_signal(signal.SIGTERM)
                self.assertEqual(shell.wait(), 0)

    def test_the_game_gets_the_whole_screen_and_the_pointer_after_a_click_and_esc_ends_both(self):
        # A window manager makes the clicked window the active one, as a player's desktop does:
        # the browser locks the pointer only for the active window.
        display_name, env = x11.start_display(self)
        self.desktop.close()
        self.desktop = x11.Desktop(display_name)
        x11.start_window_manager(self, self.desktop, env)
        shell = self.start("screen:1", env=env)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        self.assertTrue(self.server.wait_for_line("event=fullscreen&click=0&ok=0"))
        _, _, width, height = self.desktop.geometry(window)
        for _ in range(20):  # the page takes clicks a moment after its window shows
            self.desktop.click(window, width // 2, height // 2)
            if self.server.wait_for_line("event=fullscreen&click=1", timeout=0.5):
                break
        self.assertTrue(self.server.wait_for_line("event=fullscreen&click=1&ok=1"))
        self.assertTrue(self.server.wait_for_line("event=fullscreenchange&on=true"))
        self.assertTrue(self.server.wait_for_line("event=pointerlock&locked=true"))
        self.desktop.press_key(None, "Escape")
        self.assertTrue(self.server.wait_for_line("event=fullscreenchange&on=false"))
        self.assertTrue(self.server.wait_for_line("event=pointerlock&locked=false"))
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)

    def test_a_server_that_is_not_there_gets_the_shells_page_which_loads_the_game_once_it_is(self):
        port = free_port()
        shell = self.start(f"--login-host=127.0.0.1:{port}", "--", "functions:1",
                           binary=DEVELOPER_BIN)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        time.sleep(1)
        server = harness.DemoServer(port=port)
        self.addCleanup(server.stop)
        # The shell's page tries again by itself; the game comes with its page functions.
        self.assertTrue(server.wait_for_line("event=functions&ok=true", timeout=20))
        self.assertIsNone(shell.process.poll())
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_a_silent_host_gets_the_shells_page_which_asks_again_by_itself(self):
        port = free_port()
        silent = socket.socket()
        silent.bind(("127.0.0.1", port))
        silent.listen(16)
        self.addCleanup(silent.close)
        asked, held = [], []

        def hold():
            while True:
                try:
                    connection, _ = silent.accept()
                except OSError:
                    return
                held.append(connection)
                connection.settimeout(60)
                try:
                    asked.append(connection.recv(4096).split(b"\r\n", 1)[0])
                except OSError:
                    pass

        import threading
        threading.Thread(target=hold, daemon=True).start()
        self.addCleanup(lambda: [c.close() for c in held])
        shell = self.start(f"--login-host=127.0.0.1:{port}", "--", "functions:1",
                           binary=DEVELOPER_BIN)
        # Twenty seconds unanswered, then the shell's page, which asks again after five.
        deadline = time.time() + 40
        while time.time() < deadline and len([a for a in asked if b"login.html" in a]) < 2:
            time.sleep(0.1)
        self.assertGreaterEqual(len([a for a in asked if b"login.html" in a]), 2, asked)
        self.assertIsNone(shell.process.poll())
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)

    def renderers_of(self, shell):
        found = []
        for pid in descendants(shell.process.pid):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if b"--type=renderer" in f.read():
                        found.append(pid)
            except OSError:
                pass
        return found

    def test_a_page_whose_process_dies_loads_again_twice_then_the_shells_page_retries_on_a_click(self):
        shell, window = self.start_and_show("functions:1")
        self.assertEqual(self.wait_for_count("event=functions&ok=true", 1), 1)
        for death in (1, 2, 3):
            for pid in self.renderers_of(shell):
                os.kill(pid, signal.SIGKILL)
            if death < 3:
                # Loaded again, with its page functions.
                self.assertEqual(self.wait_for_count("event=functions&ok=true", death + 1),
                                 death + 1)
        time.sleep(3)
        self.assertEqual(self.server.count("event=functions&ok=true"), 3)
        self.assertIsNone(shell.process.poll())
        # The shell's page waits for the player: its Retry, under the words in the middle of the
        # window, loads the game at once.
        _, _, width, height = self.desktop.geometry(window)
        for offset in (40, 50, 60, 70, 80, 90, 100):
            self.desktop.click(window, width // 2, height // 2 + offset)
            if self.wait_for_count("event=functions&ok=true", 4, timeout=1) == 4:
                break
        self.assertEqual(self.server.count("event=functions&ok=true"), 4)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_no_page_saves_a_file_through_the_browser(self):
        home = tempfile.mkdtemp(prefix="gs-home-")
        self.addCleanup(shutil.rmtree, home, True)
        shell = self.start("download:1", env=dict(os.environ, HOME=home))
        self.assertTrue(self.server.wait_for_line("event=download-clicked"))
        time.sleep(2)
        saved = [os.path.join(d, f) for d, _, files in os.walk(home) for f in files
                 if f.startswith("saved")]
        self.assertEqual(saved, [])
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)

    def test_without_a_browser_the_player_is_told_which_package_to_install(self):
        env = dict(os.environ, PATH="/nonexistent")
        shell = self.start(env=env)
        self.assertEqual(shell.wait(), 3)
        self.assertIsNone(self.desktop.find("Varnholt"))
        # Started from the menu, the player reads it in a box.
        shell = self.start("--errors-in-window", "--", env=env)
        box = self.desktop.wait_for("Varnholt", timeout=15)
        self.assertIsNotNone(box)
        self.assertIsNone(shell.process.poll())
        self.desktop.request_close(box)
        self.assertEqual(shell.wait(), 3)

    def test_popups_come_from_clicks_in_windows_of_their_own_named_by_a_foreign_host(self):
        # The game's links to its own host, to another and to a scheme of the desktop's, in bands,
        # which its script clicks too.
        shell = self.start("popup:1")
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=script-clicked"))
        time.sleep(1)
        self.assertEqual(self.shown_windows_of_the_shell(), [window], "a script opened a window")
        self.desktop.click(window, 240, 700)
        popup = self.desktop.wait_for("popup", timeout=15)
        self.assertIsNotNone(popup)
        self.desktop.request_close(popup)
        # Popups open over the game window's bands: it comes back on top for each click.
        self.raise_window(window)
        self.desktop.click(window, 720, 700)
        self.assertIsNotNone(self.desktop.wait_for("popup \u2014 localhost", timeout=15))
        self.raise_window(window)
        self.desktop.click(window, 1200, 700)
        time.sleep(1.5)
        # Popups only, no window with tabs or an address bar.
        shown = self.shown_windows_of_the_shell()
        self.assertEqual(sorted(self.desktop.title(w) for w in shown),
                         ["Varnholt", "popup \u2014 localhost"])
        # Two pages alike in a game popup and another host's: both named by the host.
        self.raise_window(window)
        self.desktop.click(window, 240, 700)
        deadline = time.time() + 15
        while time.time() < deadline and len(self.shown_windows_of_the_shell()) < 3:
            time.sleep(0.05)
        time.sleep(1)
        self.assertEqual(sorted(self.desktop.title(w) for w in self.shown_windows_of_the_shell()),
                         ["Varnholt", "popup \u2014 localhost", "popup \u2014 localhost"])
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)
        # An advertisement's popup of its own size, named by its host, goes with the game window.
        shell = self.start("clickpopup:sized")
        window = self.desktop.wait_for("Varnholt")
        self.assertTrue(self.server.wait_for_line("event=clickable"))
        self.desktop.click(window, 720, 400)
        popup = self.desktop.wait_for("popup \u2014 localhost", timeout=15)
        self.assertIsNotNone(popup)
        self.assertTrue(self.server.wait_for_line("event=popup-loaded"))
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(), 0)

    def test_the_launchers_box_stays_above_the_game_which_plays_on_and_goes_with_the_shell(self):
        # Thirty payment calls as the page is parsed, without the launcher library.
        shell, window = self.start_and_show("pays:30")
        box = self.desktop.wait_for("Zendari\u652f\u4ed8", timeout=15)
        self.assertIsNotNone(box)
        # The shell's loop does not wait for the player: the game goes on loading.
        self.assertTrue(self.server.wait_for_line("event=loaded"))
        time.sleep(1)
        boxes = [w for w in self.desktop.windows()
                 if self.desktop.title(w) == "Zendari\u652f\u4ed8" and self.desktop.is_viewable(w)]
        self.assertEqual(boxes, [box])
        self.assertEqual(self.desktop.transient_for(box), window.id)
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)
        deadline = time.time() + 5
        while time.time() < deadline and self.desktop.find("Zendari\u652f\u4ed8", visible=True):
            time.sleep(0.05)
        self.assertIsNone(self.desktop.find("Zendari\u652f\u4ed8", visible=True))


if __name__ == "__main__":
    unittest.main()
