"""The resource cache in the real shell: what lands on disk, what the network still sees, and
what the page receives, across runs, new versions, failures, kills and clears."""
import fcntl
import glob
import os
import random
import re
import resource
import shutil
import signal
import sys
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from harness import PORT, SERVER, ShellTestCase, ordinary_user

TWO_HOSTS_BIN = os.environ.get("GAMESHELL_TWO_HOSTS_BIN", "")

sys.path.insert(0, os.path.dirname(SERVER) if SERVER else ".")
from server import generated_content  # noqa: E402


def fnv1a(data):
    h = 0x811C9DC5
    for byte in data:
        h = ((h ^ byte) * 0x01000193) & 0xFFFFFFFF
    return h


def split(url):
    parts = urllib.parse.urlsplit(url)
    query = urllib.parse.parse_qs(parts.query)
    return parts.path, query.get("v", ["0"])[0], int(query.get("size", ["3000"])[0])


def split_query(url):
    return urllib.parse.urlsplit(url).query


def origin_bytes(url, salt=""):
    path, version, size = split(url)
    host = urllib.parse.urlsplit(url).hostname
    if host and host != "127.0.0.1":
        salt = host + "|" + salt
    return generated_content(path, version, size, salt)


class CacheProcessTest(ShellTestCase):
    def setUp(self):
        super().setUp()
        self.control(salt="")
        self.cwd = tempfile.mkdtemp(prefix="gs-cache-")
        self.addCleanup(shutil.rmtree, self.cwd, True)

    def control(self, **params):
        url = f"http://127.0.0.1:{PORT}/__control?" + urllib.parse.urlencode(params)
        urllib.request.urlopen(url, timeout=5).read()

    def fault(self, path, mode):
        self.control(path=path, mode=mode)
        self.addCleanup(self.control, path=path, mode="ok")

    def run_page(self, urls, rounds=1, between_rounds=None, close=True, extra=(), binary=None,
                 stored=None, before_first_round=None):
        """Starts the shell on the manifest `urls`; returns {(round, index): (status, len, sum)}.
        Before each further round, `between_rounds()` runs, then the page is let go on. With
        `close`, the window closes once the files of `stored` (by default every URL of a storable
        name) hold their origin's bytes."""
        self.control(manifest=",".join(urls), go=0)
        self.server.clear()
        if before_first_round:
            extra = (*extra, "wait1:1")
        shell = self.start(f"cache:1,rounds:{rounds}", *extra, cwd=self.cwd, binary=binary)
        window = self.desktop.wait_for("Varnholt")
        self.assertIsNotNone(window)
        if before_first_round:
            before_first_round(shell)
            self.control(go=1)
        for r in range(1, rounds + 1):
            self.assertTrue(self.server.wait_for_line(f"event=round-done&round={r}", timeout=60))
            # Each report is a request of its own: "round-done" may arrive before the last "got".
            deadline = time.time() + 10
            while (self.server.count(f"event=got&round={r}&") < len(urls)
                   and time.time() < deadline):
                time.sleep(0.05)
            if r < rounds:
                between_rounds()
                self.control(go=r + 1)
        got = {}
        for line in self.server.lines():
            m = re.search(r"event=got&round=(\d+)&i=(\d+)&status=(\d+)&len=(\d+)&sum=(\d+)", line)
            if m:
                r, i, status, length, checksum = map(int, m.groups())
                got[(r, i)] = (status, length, checksum)
        if close:
            self.wait_for_files(urls if stored is None else stored)
            self.desktop.request_close(window)
            self.assertEqual(shell.wait(), 0)
        return got, shell

    def wait_for_files(self, urls, salt="", timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            missing = [u for u in urls if self.storable(u) and self.read(u) != origin_bytes(u, salt)]
            if not missing:
                return
            time.sleep(0.1)
        self.fail(f"not stored within {timeout} s: {missing}")

    def wait_for_generation(self, generation, timeout=20):
        def wait(shell):
            deadline = time.time() + timeout
            while time.time() < deadline:
                try:
                    if f"version {generation}\n" in shell.index_text():
                        return
                except OSError:
                    pass
                time.sleep(0.05)
            self.fail(f"generation {generation} never reached the index")
        return wait

    @staticmethod
    def storable(url):
        return re.search(r"\.(webp|png|jpg|astc|mp3|wav|dds|conf|dat)", split(url)[0]) is not None

    def read(self, url):
        try:
            with open(os.path.join(self.cwd, split(url)[0].lstrip("/")), "rb") as f:
                return f.read()
        except OSError:
            return None

    def network_hits(self, url):
        parts = urllib.parse.urlsplit(url)
        query = "?" + parts.query if parts.query or url.endswith("?") else ""
        return self.server.count(f"GET {parts.path}{query} ")

    def assert_page_got_origin(self, got, urls, round_=1, salt=""):
        for i, url in enumerate(urls):
            body = origin_bytes(url, salt)
            self.assertEqual(got[(round_, i)], (200, len(body), fnv1a(body)), url)

    def test_first_run_stores_exact_bytes_and_the_second_run_uses_no_network(self):
        urls = ["/gen/ui/a.png?v=1&size=5000", "/gen/ui/b.jpg?v=2", "/gen/tex/c.webp?v=1",
                "/gen/sound/d.mp3?v=7&size=70000", "/gen/data/e.dat?v=1&size=1",
                "/gen/cfg/f.conf?v=3", "/gen/t.astc?v=1", "/gen/s.wav?v=1", "/gen/m.dds",
                "/gen/code/g.js?v=1", "/gen/page.html?v=1"]
        got, shell = self.run_page(urls)
        self.assert_page_got_origin(got, urls)
        for url in urls:
            # The shell's own download answers the page: one fetch per resource.
            self.assertEqual(self.network_hits(url), 1, url)
            if self.storable(url):
                self.assertEqual(self.read(url), origin_bytes(url), url)
            else:
                self.assertIsNone(self.read(url), url)
        expected = sorted(f"{split(u)[0].lstrip('/')} {urllib.parse.urlsplit(u).query or '0'}"
                          for u in urls if self.storable(u))
        # Appended as the files came: in any order, each after the line that put it in flux.
        self.assertEqual(shell.index_lines(), sorted(expected + ["version 1"]))

        got, _ = self.run_page(urls, extra=("img:%2Fimg%2Flogo.png%3Fv%3D1",))
        self.assert_page_got_origin(got, urls)
        for url in urls:
            self.assertEqual(self.network_hits(url), 0 if self.storable(url) else 1, url)
        self.assertTrue(self.server.wait_for_line("event=img&width=96"))

    def test_a_new_version_is_served_old_once_then_new(self):
        self.run_page(["/gen/v/a.dat?v=1"])
        urls = ["/gen/v/a.dat?v=2"]
        got, _ = self.run_page(urls, rounds=2, between_rounds=lambda: self.wait_for_files(urls))
        old, new = origin_bytes("/gen/v/a.dat?v=1"), origin_bytes(urls[0])
        self.assertEqual(got[(1, 0)][2], fnv1a(old))
        self.assertEqual(got[(2, 0)][2], fnv1a(new))
        self.assertEqual(self.network_hits(urls[0]), 1)
        self.assertEqual(self.read(urls[0]), new)

    def test_failed_downloads_store_nothing_and_keep_older_files_whole(self):
        modes = ["404", "500", "304", "drop", "stall"]
        old_urls = [f"/gen/f/{m}.dat?v=1&size=200000" for m in modes]
        self.run_page(old_urls)
        for mode in modes:
            self.fault(f"/gen/f/{mode}.dat", mode)
            self.fault(f"/gen/new/{mode}.dat", mode)
        urls = [f"/gen/f/{m}.dat?v=2&size=200000" for m in modes]
        # A stalled new resource would hold the page's own request too; the others answer it.
        urls += [f"/gen/new/{m}.dat?v=1" for m in modes if m != "stall"]
        got, shell = self.run_page(urls, close=False)
        # Every download has been asked of the server (the stalled ones hang there).
        for url in urls:
            self.assertTrue(self.server.wait_for_line("GET " + url.split("&")[0]), url)
        self.desktop.request_close(self.desktop.find("Varnholt"))
        self.assertEqual(shell.wait(), 0)
        for mode, old in zip(modes, old_urls):
            self.assertEqual(self.read(old), origin_bytes(old), mode)
            self.assertIsNone(self.read(f"/gen/new/{mode}.dat"), mode)
        # A failed update leaves the previous version recorded.
        self.assertIn("gen/f/404.dat v=1&size=200000\n", shell.index_text())
        self.assertEqual(glob.glob(os.path.join(self.cwd, "**", ".gameshell-tmp-*"),
                                   recursive=True), [])

    def test_after_a_failed_download_that_version_comes_from_the_network_only(self):
        # A peer shell's newer version is in place; this shell's version fails at the host.
        url = "/gen/peer/x.dat?v=1"
        newer = "/gen/peer/x.dat?v=2"
        os.makedirs(os.path.join(self.cwd, "gen", "peer"))
        with open(os.path.join(self.cwd, "gen", "peer", "x.dat"), "wb") as f:
            f.write(origin_bytes(newer))
        with open(os.path.join(self.cwd, "fileList.txt"), "w") as index:
            index.write("gen/peer/x.dat v=2\nversion 1\n")
        self.fault("/gen/peer/x.dat", "404")
        got, _ = self.run_page([url] * 5, rounds=2, stored=[], between_rounds=lambda: None)
        for i in range(5):
            self.assertEqual(got[(2, i)][0], 404, i)
        self.assertEqual(self.read(newer), origin_bytes(newer))

    def test_a_resource_that_redirects_to_itself_ends_as_the_engine_ends_it(self):
        url = "/gen/loop/x.png?v=1"
        self.fault("/gen/loop/x.png", "loop")
        got, _ = self.run_page([url], stored=[])
        self.assertEqual(got[(1, 0)][0], 0)  # a network error, as for an uncached resource
        time.sleep(1)
        # The engine's 21 requests and one download's 21, which the network stack may send again
        # on new connections (up to 68 in all on a loaded machine); a download per hop would make
        # hundreds.
        self.assertLessEqual(self.network_hits(url), 100)

    def test_one_fetch_answers_every_request_and_misses_reach_the_page_as_sent(self):
        shared = "/gen/one/a.dat?v=1&size=300000"
        misses = {"404": "/gen/miss/404.dat?v=1", "500": "/gen/miss/500.dat?v=1",
                  "drop": "/gen/miss/drop.dat?v=1&size=200000"}
        for mode, url in misses.items():
            self.fault(split(url)[0], mode)
        urls = [shared] * 6 + list(misses.values())
        got, _ = self.run_page(urls, stored=[shared])
        self.assert_page_got_origin(got, [shared] * 6)
        self.assertEqual(self.network_hits(shared), 1)
        refusal = b"failed on purpose\n"
        self.assertEqual(got[(1, 6)], (404, len(refusal), fnv1a(refusal)))
        self.assertEqual(got[(1, 7)], (500, len(refusal), fnv1a(refusal)))
        self.assertNotEqual(got[(1, 8)][:2], (200, 200000))
        for url in misses.values():
            self.assertIsNone(self.read(url), url)

    def test_a_failed_update_is_asked_for_again_on_the_next_run(self):
        old, new = "/gen/u/a.dat?v=1", "/gen/u/a.dat?v=2"
        self.run_page([old])
        self.fault("/gen/u/a.dat", "500")
        self.run_page([new], stored=[])
        self.assertEqual(self.read(old), origin_bytes(old))
        self.control(path="/gen/u/a.dat", mode="ok")
        self.run_page([new])
        self.assertEqual(self.network_hits(new), 1)
        self.assertEqual(self.read(new), origin_bytes(new))

    def test_sub_frames_use_the_cache_too(self):
        # The frame is of another of the game's origins (the mirror host); what it fetches from
        # the login host is cached.
        urls = [f"http://127.0.0.1:{PORT}/gen/frame/a.png?v=1",
                f"http://127.0.0.1:{PORT}/gen/frame/b.dat?v=4"]
        got, _ = self.run_page(urls, extra=("inframe:1",), binary=TWO_HOSTS_BIN)
        self.assert_page_got_origin(got, urls)
        for url in urls:
            self.assertEqual(self.read(url), origin_bytes(url))
        got, _ = self.run_page(urls, extra=("inframe:1",), binary=TWO_HOSTS_BIN)
        self.assert_page_got_origin(got, urls)
        for url in urls:
            self.assertEqual(self.network_hits(url), 0)

    def test_only_cacheable_file_names_outside_the_shells_own_files_are_stored(self):
        kept = ["/gen/p/x.png?v=1", "/gen/p/y.config?v=1", "/gen/p/z.data?v=1"]
        refused = ["/gen/p/libx.png.so?v=1", "/gen/p/dir/x.dat.dll?v=1",
                   "/fileList.txt/x.png?gen=1", "/.gameshell-tmp-1-1/x.png?gen=1",
                   # Other programs' hidden settings, and a path no file system takes.
                   "/.config/fontconfig/fonts.conf?gen=1", "/gen/p/.pki/cert9.dat?v=1",
                   "/" + "d/" * 600 + "x.png?gen=1"]
        got, shell = self.run_page(kept + refused, stored=kept)
        self.assert_page_got_origin(got, kept)
        for url in kept:
            self.assertEqual(self.read(url), origin_bytes(url), url)
        self.assertEqual(sorted(os.listdir(self.cwd)), ["fileList.txt", "gen"])
        self.assertEqual(sorted(os.listdir(os.path.join(self.cwd, "gen", "p"))),
                         ["x.png", "y.config", "z.data"])
        self.assertIn("gen/p/x.png v=1\n", shell.index_text())

    def test_another_hosts_bytes_never_become_the_games_resource(self):
        other = f"http://localhost:{PORT}/gen/h/a.conf?v=5"
        got, _ = self.run_page([other], stored=[])
        self.assert_page_got_origin(got, [other])
        self.assertIsNone(self.read(other))
        own = "/gen/h/a.conf?v=5"
        got, _ = self.run_page([own])
        self.assert_page_got_origin(got, [own])
        self.assertEqual(self.read(own), origin_bytes(own))

    def close(self, shell):
        self.desktop.request_close(self.desktop.find("Varnholt"))
        self.assertEqual(shell.wait(), 0)

    def test_a_path_that_cannot_be_put_in_place_is_fetched_once_and_said(self):
        url = "/gen/blocked/a.dat?v=1"
        # A file where the resource's directory should be.
        os.makedirs(os.path.join(self.cwd, "gen"), exist_ok=True)
        with open(os.path.join(self.cwd, "gen", "blocked"), "w") as f:
            f.write("in the way")
        got, shell = self.run_page([url], close=False)
        self.assert_page_got_origin(got, [url])
        self.assertEqual(self.network_hits(url), 1)
        shell.stderr.seek(0)
        said = shell.stderr.read().decode()
        self.close(shell)
        self.assertEqual(said.count("cannot put the game's file"), 1, said)
        self.assertIn(os.path.join(os.path.realpath(self.cwd), "gen/blocked/a.dat"), said)

    def test_the_download_follows_redirects_only_within_the_games_hosts(self):
        inner = "/gen/r/target.png?v=1"
        away = f"http://localhost:{PORT}/gen/r/away.png?v=1"
        urls = ["/gen/r/a.png?v=1&redirect=" + urllib.parse.quote(inner, safe=""),
                "/gen/r/b.png?v=1&redirect=" + urllib.parse.quote(away, safe="")]
        got, shell = self.run_page(urls, close=False)
        self.close(shell)
        # The page follows the redirect to the other host itself; only the game's host is stored.
        self.assertEqual(got[(1, 0)][2], fnv1a(origin_bytes(inner)))
        self.assertEqual(got[(1, 1)][2], fnv1a(origin_bytes(away)))
        self.assertEqual(self.read(urls[0]), origin_bytes(inner))
        self.assertIsNone(self.read(urls[1]))
        got, shell = self.run_page(urls[:1], close=False)
        self.close(shell)
        self.assertEqual(got[(1, 0)][2], fnv1a(origin_bytes(inner)))
        self.assertEqual(self.network_hits(urls[0]), 0)

    def test_no_redirect_leads_to_the_debugging_endpoint(self):
        url = "/gen/r/d.png?v=1&redirect=" + urllib.parse.quote(
            "http://127.0.0.1:19223/json/version", safe="")
        got, shell = self.run_page([url], binary=TWO_HOSTS_BIN, close=False)
        self.close(shell)
        self.assertNotEqual(got[(1, 0)][0], 200)
        self.assertIsNone(self.read(url))

    def test_compressed_answers_are_stored_decoded_and_the_page_gets_what_the_engine_gives(self):
        asked = "/gen/z/a.conf?v=1&enc=gzip&size=20000"    # compressed because the shell asks
        forced = "/gen/z/b.png?v=1&enc=gzip-always"        # compressed whatever anyone asks
        unknown = "/gen/z/c.dat?v=1&enc=x-unknown"         # an encoding nobody can decode
        got, shell = self.run_page([asked, forced, unknown], close=False)
        self.close(shell)
        self.assert_page_got_origin(got, [asked, forced])
        self.assertEqual(got[(1, 2)][0], 200)
        self.assertEqual(self.read(asked), origin_bytes(asked))
        self.assertEqual(self.read(forced), origin_bytes(forced))
        self.assertIsNone(self.read(unknown))
        self.assertEqual(self.network_hits(asked), 1)
        self.assertTrue(self.server.wait_for_line(f"GET {asked} 200"))
        got, shell = self.run_page([asked, forced], close=False)
        self.close(shell)
        self.assert_page_got_origin(got, [asked, forced])
        self.assertEqual(self.network_hits(asked) + self.network_hits(forced), 0)

    def test_a_body_whose_end_is_unknown_or_cut_is_never_stored(self):
        urls = ["/gen/k/a.dat?v=1&enc=gzip&cut=length&size=50000",
                "/gen/k/b.dat?v=1&enc=gzip&cut=chunked&size=50000",
                "/gen/k/c.dat?v=1&cut=chunked&size=50000",
                "/gen/k/d.dat?v=1&close=1&size=50000"]
        got, shell = self.run_page(urls, close=False)
        self.close(shell)
        for i, url in enumerate(urls):
            self.assertTrue(self.read(url) is None, url)
            self.assertNotEqual(got[(1, i)][:2], (200, 50000), url)

    def test_a_mirror_host_built_in_shares_the_games_files(self):
        mirror = f"http://localhost:{PORT}/gen/m/a.conf?v=5"
        got, _ = self.run_page([mirror], binary=TWO_HOSTS_BIN)
        self.assertEqual(self.read(mirror), origin_bytes(mirror))
        got, _ = self.run_page(["/gen/m/a.conf?v=5"], binary=TWO_HOSTS_BIN, stored=[mirror])
        # One file for both hosts: the mirror's copy answers the game's own URL.
        self.assertEqual(got[(1, 0)][2], fnv1a(origin_bytes(mirror)))
        self.assertEqual(self.network_hits("/gen/m/a.conf?v=5"), 0)

    def test_once_a_host_answered_plainly_the_pages_own_requests_bring_its_new_versions(self):
        # The first comes by the shell's fetch; the later ones, asked for after it came, are the
        # page's own requests carrying their answers to the cache (one too long to take whole read
        # as a stream, the page then answered from its file): the game's own host's and, read
        # across origins, the mirror's.
        own = [f"/gen/carry/{i}.dat?v=1" for i in range(3)] + ["/gen/carry/big.dat?v=1&size=6000000"]
        mirror = [f"http://localhost:{PORT}/gen/carry/m{i}.dat?v=1" for i in range(3)]
        got, _ = self.run_page(own + mirror, extra=("serial:1",), binary=TWO_HOSTS_BIN)
        self.assert_page_got_origin(got, own + mirror)
        for url in own + mirror:
            self.assertEqual(self.read(url), origin_bytes(url), url)
            self.assertEqual(self.network_hits(url), 1, url)
        got, _ = self.run_page(own + mirror, extra=("serial:1",), binary=TWO_HOSTS_BIN)
        self.assert_page_got_origin(got, own + mirror)
        for url in own + mirror:
            self.assertEqual(self.network_hits(url), 0, url)

    def test_downloads_carry_the_pages_cookies(self):
        url = "/gen/session/a.dat?v=1"
        self.fault("/gen/session/a.dat", "needcookie")
        got, _ = self.run_page([url], extra=("cookie:1",))
        self.assert_page_got_origin(got, [url])
        self.assertEqual(self.read(url), origin_bytes(url))

    def test_an_empty_file_is_never_served_and_the_next_answer_replaces_it(self):
        url = "/gen/empty/e.dat?v=1"
        os.makedirs(os.path.join(self.cwd, "gen", "empty"))
        open(os.path.join(self.cwd, "gen", "empty", "e.dat"), "wb").close()
        with open(os.path.join(self.cwd, "fileList.txt"), "w") as index:
            index.write("gen/empty/e.dat v=1\nversion 1\n")
        got, _ = self.run_page([url])
        self.assert_page_got_origin(got, [url])
        self.assertEqual(self.network_hits(url), 1)
        self.assertEqual(self.read(url), origin_bytes(url))

    def test_a_kill_during_downloads_leaves_no_file_that_is_not_whole(self):
        urls = [f"/gen/k/{i}.dat?v=1&size={100000 + 3000 * i}" for i in range(150)]
        self.control(manifest=",".join(urls))
        shell = self.start("cache:1", cwd=self.cwd)
        deadline = time.time() + 30
        while time.time() < deadline and len(glob.glob(os.path.join(self.cwd, "gen/k/*"))) < 5:
            time.sleep(0.01)
        shell.process.kill()
        shell.wait()
        stored = glob.glob(os.path.join(self.cwd, "gen/k/*.dat"))
        self.assertGreater(len(stored), 0)
        for path in stored:
            i = int(os.path.basename(path).split(".")[0])
            with open(path, "rb") as f:
                self.assertEqual(f.read(), origin_bytes(urls[i]), path)
        # The index names a version only of files in place. (A path's last line counts; one whose
        # value is " -" (a blank and a dash, which no query can be), the mark a file gets before it
        # is put in place, names none: the kill may come between the mark and the file.)
        index_path = os.path.join(self.cwd, "fileList.txt")
        with open(index_path) if os.path.exists(index_path) else open(os.devnull) as index:
            last = dict(line.split(" ", 1) for line in index.read().splitlines() if " " in line)
        for path, version in last.items():
            if path != "version" and version != " -":
                self.assertTrue(os.path.isfile(os.path.join(self.cwd, path)), f"{path} {version}")
        got, _ = self.run_page(urls)
        self.assert_page_got_origin(got, urls)
        for url in urls:
            self.assertEqual(self.read(url), origin_bytes(url), url)

    def test_sigterm_keeps_the_index_a_bare_query_is_cached_and_leftovers_are_swept(self):
        # A killed run's leftovers, fresh and at any depth, go; another shell's file being
        # written (locked) stays.
        os.makedirs(os.path.join(self.cwd, "gen", "q"))
        leftovers = [os.path.join(self.cwd, ".gameshell-tmp-9-9"),
                     os.path.join(self.cwd, "gen", "q", ".gameshell-tmp-8-8")]
        for leftover in leftovers:
            with open(leftover, "wb") as f:
                f.write(b"x" * 1000)
        written = os.path.join(self.cwd, ".gameshell-tmp-7-7")
        writer = open(written, "wb")
        self.addCleanup(writer.close)
        fcntl.flock(writer, fcntl.LOCK_EX)
        urls = ["/gen/q/e.png?", "/gen/q/f.dat?v=1"]
        got, shell = self.run_page(urls, close=False)
        self.wait_for_files(urls)
        shell.process.send_signal(signal.SIGTERM)
        self.assertEqual(shell.wait(), 0)
        self.assertIn("gen/q/f.dat v=1\n", shell.index_text())
        for leftover in leftovers:
            self.assertFalse(os.path.exists(leftover), leftover)
        self.assertTrue(os.path.exists(written))
        got, _ = self.run_page(urls)
        self.assert_page_got_origin(got, urls)
        for url in urls:
            self.assertEqual(self.network_hits(url), 0, url)

    def index_entries(self):
        """The index as the file format reads it: key, space, value; a later line wins."""
        entries = {}
        with open(os.path.join(self.cwd, "fileList.txt"), "rb") as f:
            for line in f.read().decode("utf-8", "replace").split("\n"):
                key, space, value = line.partition(" ")
                if space and value:
                    entries[key] = value
        return entries

    def wait_for_entries(self, urls, timeout=20):
        """Until the index file names each URL's version."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            entries = self.index_entries()
            missing = [u for u in urls if entries.get(split(u)[0].lstrip("/")) != split_query(u)]
            if not missing:
                return
            time.sleep(0.05)
        self.fail(f"not in the index within {timeout} s: {missing}")

    def wait_until_no_game_window(self):
        deadline = time.time() + 10
        while self.desktop.find("Varnholt") is not None and time.time() < deadline:
            time.sleep(0.05)

    def test_entries_are_on_disk_at_once_and_no_kill_leaves_one_naming_other_bytes(self):
        urls = [f"/gen/kill/{i}.dat?v=1&size=40000" for i in range(30)]
        got, shell = self.run_page(urls, close=False)
        self.wait_for_entries(urls)
        shell.process.kill()
        shell.wait()
        self.wait_until_no_game_window()
        got, shell = self.run_page(urls, close=False)
        self.close(shell)
        self.assertEqual(sum(self.network_hits(url) for url in urls), 0)
        # New versions of all of them, the shell killed while it replaces their files.
        moments = random.Random(7)
        for version in range(2, 6):
            urls = [f"/gen/kill/{i}.dat?v={version}&size=40000" for i in range(30)]
            self.control(manifest=",".join(urls), go=0)
            shell = self.start("cache:1", cwd=self.cwd)
            self.assertIsNotNone(self.desktop.wait_for("Varnholt"))
            self.assertTrue(self.server.wait_for_line(f"kill/0.dat?v={version}"))
            time.sleep(moments.uniform(0.0, 0.5))
            shell.process.kill()
            shell.wait()
            self.wait_until_no_game_window()
            for key, value in self.index_entries().items():
                if key != "version" and value != " -":
                    url = f"/{key}?{value}"
                    self.assertTrue(self.read(url) == origin_bytes(url), f"{key} {value}")

    @unittest.skipUnless(os.geteuid() == 0, "starts the shell as another user")
    def test_a_read_only_cache_root_costs_one_fetch_per_resource_and_says_so_once(self):
        binary, cwd, env, as_nobody = ordinary_user(self, cwd_mode=0o555)
        urls = [f"/gen/ro/{i}.dat?v=1" for i in range(10)]
        self.control(manifest=",".join(urls), go=0)
        self.server.clear()
        # Started as from the menu, where nobody reads stderr: a box says it too.
        shell = self.start("--errors-in-window", "--", "cache:1", cwd=cwd, binary=binary, env=env,
                           preexec_fn=as_nobody)
        self.assertTrue(self.server.wait_for_line("event=round-done&round=1", timeout=60))
        box = self.desktop.wait_for("Varnholt - 游戏文件", timeout=10)
        self.assertIsNotNone(box)
        self.desktop.request_close(box)
        self.desktop.request_close(self.desktop.find("Varnholt"))
        self.assertEqual(shell.process.wait(timeout=30), 0)
        shell.stderr.seek(0)
        lines = shell.stderr.read().decode().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(cwd, lines[0])
        for url in urls:
            self.assertEqual(self.network_hits(url), 1, url)

    def test_junk_and_entries_without_files_leave_the_index(self):
        url = "/gen/j/a.dat?v=1"
        os.makedirs(os.path.join(self.cwd, "gen", "j"))
        with open(os.path.join(self.cwd, "gen", "j", "a.dat"), "wb") as f:
            f.write(origin_bytes(url))
        with open(os.path.join(self.cwd, "fileList.txt"), "wb") as f:
            f.write(b"gen/j/a.dat v=1\ngen/j/gone.dat v=1\n" + b"x" * (10 << 20) + b" 1\n" +
                    bytes(range(256)) * 100 + b"\nversion 1\n")
        got, shell = self.run_page([url])
        self.assert_page_got_origin(got, [url])
        self.assertEqual(self.network_hits(url), 0)
        self.assertEqual(shell.index_text(), "gen/j/a.dat v=1\nversion 1\n")

    def test_an_endless_body_keeps_memory_bounded_and_the_window_closes_promptly(self):
        url = "/gen/live/radio.mp3?v=1"
        self.fault("/gen/live/radio.mp3", "endless")
        self.control(manifest=url)
        shell = self.start("cache:1", cwd=self.cwd)
        window = self.desktop.wait_for("Varnholt")
        time.sleep(5)
        with open(f"/proc/{shell.process.pid}/status") as status:
            rss_kb = int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))
        # The shell's own process (pages run in others): about 200 MB when idle.
        self.assertLess(rss_kb, 600 * 1024)
        self.desktop.request_close(window)
        self.assertEqual(shell.wait(timeout=15), 0)
        self.assertIsNone(self.read(url))
        self.assertEqual(glob.glob(os.path.join(self.cwd, ".gameshell-tmp-*")), [])

    def test_the_last_version_asked_for_wins_over_an_older_one_ending_later(self):
        older, newer = "/gen/o/r.png?v=1&delay=2", "/gen/o/r.png?v=2"
        got, shell = self.run_page([older, newer], stored=[newer])
        self.assert_page_got_origin(got, [older, newer])
        self.assertEqual(self.read(newer), origin_bytes(newer))
        self.assertIn("gen/o/r.png v=2\n", shell.index_text())

    def test_a_warm_burst_of_5000_requests_on_a_20000_entry_cache_keeps_every_entry(self):
        # A warm cache of a long-lived game, laid out as the shell stores it.
        urls = [f"/gen/w/{i}.dat?v=1&size=64" for i in range(20000)]
        os.makedirs(os.path.join(self.cwd, "gen", "w"))
        for url in urls:
            with open(os.path.join(self.cwd, split(url)[0].lstrip("/")), "wb") as f:
                f.write(origin_bytes(url))
        with open(os.path.join(self.cwd, "fileList.txt"), "w") as index:
            index.writelines(f"{split(u)[0].lstrip('/')} v=1&size=64\n" for u in urls)
        # The engine holds a descriptor or two per pending request; the shell raises its soft limit
        # towards the hard one and keeps its own open files bounded.
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (8192, hard))
        self.control(manifest="/gen/w/{i}.dat?v=1&size=64", count=5000, go=0)
        self.server.clear()
        shell = self.start("cache:1", cwd=self.cwd, preexec_fn=limit)
        self.assertTrue(self.server.wait_for_line("event=round-done&round=1", timeout=120))
        deadline = time.time() + 10
        while self.server.count("event=got&round=1&") < 5000 and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(self.server.count("&status=200&len=64&"), 5000,
                         [l for l in self.server.lines() if "event=got" in l and "len=64&" not in l][:3])
        self.assertEqual(self.server.count("GET /gen/w/"), 0)
        self.desktop.request_close(self.desktop.wait_for("Varnholt"))
        self.assertEqual(shell.wait(), 0)
        entries = self.index_entries()
        self.assertEqual(len(entries), 20001)
        self.assertTrue(all(entries[split(u)[0].lstrip("/")] == "v=1&size=64" for u in urls))

    def test_two_shells_in_one_directory_keep_each_others_entries(self):
        urls = [f"/gen/two/{i}.png?v=1" for i in range(40)]
        self.control(manifest=",".join(urls), go=0)
        shells = [self.start(f"cache:1,parts:2,part:{k}", cwd=self.cwd) for k in (0, 1)]
        deadline = time.time() + 60
        while time.time() < deadline and self.server.count("event=round-done") < 2:
            time.sleep(0.1)
        self.wait_for_files(urls)
        for window in [w for w in self.desktop.windows() if self.desktop.title(w) == "Varnholt"]:
            self.desktop.request_close(window)
        for shell in shells:
            self.assertEqual(shell.wait(), 0)
        index = shells[0].index_text()
        for url in urls:
            self.assertIn(f"{split(url)[0].lstrip('/')} v=1\n", index)

    def test_a_clear_keeps_files_and_new_downloads_overwrite_them(self):
        urls = ["/gen/r/a.png?v=1", "/gen/r/b.dat?v=1"]
        self.run_page(urls)
        self.control(salt="after-clear")
        got, shell = self.run_page(
            urls, rounds=2, close=False, extra=("clear:2",),
            # The page's clear and its requests travel different ways: the test lets the
            # requests go once the clear is on the index.
            before_first_round=self.wait_for_generation("2"),
            between_rounds=lambda: self.wait_for_files(urls, salt="after-clear"))
        # Round one still gets the kept files; the downloads the clear caused replace them.
        self.assert_page_got_origin(got, urls, round_=1)
        self.assert_page_got_origin(got, urls, round_=2, salt="after-clear")
        self.desktop.request_close(self.desktop.find("Varnholt"))
        self.assertEqual(shell.wait(), 0)
        for url in urls:
            self.assertEqual(self.read(url), origin_bytes(url, "after-clear"))
        self.assertEqual(self.index_entries(),
                         {"gen/r/a.png": "v=1", "gen/r/b.dat": "v=1", "version": "2"})


if __name__ == "__main__":
    unittest.main()
