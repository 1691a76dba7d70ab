#!/usr/bin/env python3
"""A big cache costs nothing: a cache of 200,000 stored resources (one small file each, a line
each in fileList.txt) against an empty one, alternating, medians of all runs:
  start   process start to the login page's request reaching the server
  close   the window's close request to the process's exit
  memory  the main process's resident memory once the game window shows
and, after the runs, whether every entry is still in the index.

Usage: big_cache.py <gameshell> <port> [runs]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import x11  # noqa: E402

ENTRIES = 200000
PAGE = b"<!DOCTYPE html><html><head><title>bench</title></head><body>big cache</body></html>"


class Server(ThreadingHTTPServer):
    daemon_threads = True
    login_at = None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith("/login.html") and self.server.login_at is None:
            self.server.login_at = time.monotonic()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)


def lay_out(root):
    lines = []
    for i in range(ENTRIES):
        directory = os.path.join(root, "res", str(i // 1000))
        if i % 1000 == 0:
            os.makedirs(directory)
        with open(os.path.join(directory, f"{i}.png"), "wb") as f:
            f.write(b"x")
        lines.append(f"res/{i // 1000}/{i}.png v={i}\n")
    with open(os.path.join(root, "fileList.txt"), "w") as f:
        f.writelines(lines + ["version 1\n"])


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def one_run(shell, server, cwd, desktop):
    server.login_at = None
    started = time.monotonic()
    process = subprocess.Popen([shell], cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    window = desktop.wait_for("Varnholt", timeout=60)
    # The window shows the shell's loading page before the game's first request.
    deadline = time.monotonic() + 60
    while server.login_at is None and time.monotonic() < deadline:
        time.sleep(0.005)
    start_ms = (server.login_at - started) * 1000
    # The game window now shows as soon as the page is parsed: the index's load and the start's
    # check of its files are given time to end first.
    time.sleep(4)
    memory = rss_mb(process.pid)
    closing = time.monotonic()
    desktop.request_close(window)
    process.wait(timeout=60)
    close_ms = (time.monotonic() - closing) * 1000
    while desktop.find("Varnholt") is not None:
        time.sleep(0.05)
    return start_ms, close_ms, memory


def main():
    shell, port = sys.argv[1], int(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    server = Server(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    empty, big = tempfile.mkdtemp(prefix="gs-empty-"), tempfile.mkdtemp(prefix="gs-big-")
    desktop = x11.Desktop()
    results = {"empty": [], "big": []}
    try:
        lay_out(big)
        for _ in range(runs):
            for name, cwd in (("empty", empty), ("big", big)):
                results[name].append(one_run(shell, server, cwd, desktop))
                if name == "empty":
                    os.remove(os.path.join(empty, "fileList.txt"))
        with open(os.path.join(big, "fileList.txt")) as f:
            kept = {}
            for line in f:
                key, _, value = line.rstrip("\n").partition(" ")
                if value:
                    kept[key] = value
        lost = sum(1 for i in range(ENTRIES) if kept.get(f"res/{i // 1000}/{i}.png") != f"v={i}")
    finally:
        desktop.close()
        server.shutdown()
        shutil.rmtree(empty, ignore_errors=True)
        shutil.rmtree(big, ignore_errors=True)
    print(f"{ENTRIES} cached resources against none, {runs} alternating runs, "
          f"{os.cpu_count()} cores (median, then all)")
    for index, label, unit, target in ((0, "start to login request", "ms", "+100 ms"),
                                       (1, "close to exit", "ms", "+200 ms"),
                                       (2, "main process memory", "MB", "+30 MB")):
        e = statistics.median(r[index] for r in results["empty"])
        b = statistics.median(r[index] for r in results["big"])
        print(f"  {label:24} empty {e:7.0f} {unit}   big {b:7.0f} {unit}   "
              f"difference {b - e:+7.0f} {unit} (target <= {target})")
        print(f"      empty {[round(r[index]) for r in results['empty']]}  "
              f"big {[round(r[index]) for r in results['big']]}")
    print(f"  entries lost: {lost}")


if __name__ == "__main__":
    main()
