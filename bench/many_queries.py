#!/usr/bin/env python3
"""Many addresses at once: the login page asks, all at once, for one path under 2,000 distinct
queries, then (a fresh cache) for 1,500 distinct paths. For each: how many requests reached the
network for them (one per address is the floor), the most descriptors the shell's main process
held open at once, of those the most that were files of the cache root (the shell's own: bodies
being written and files being served; most of the rest are the engine's shared memory for the
page's pending requests), and whether every answer reached the page.

Usage: many_queries.py <gameshell> <port> [runs]"""
import http.server
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SHAPES = {"queries": (2000, "/res/q.dat?v=%d"), "paths": (1500, "/res/p%d.dat?v=1")}

PAGE = """<!DOCTYPE html><html><body><script>
var got = 0, bad = 0, n = %d;
function report(what) { var i = new Image(); i.src = "/report?" + what; }
for (var i = 0; i < n; ++i) {
  var x = new XMLHttpRequest();
  x.open("GET", "%s".replace("%%d", i));
  x.onloadend = function () {
    if (this.status !== 200 || this.responseText.length !== 2048) ++bad;
    if (++got === n) { report("event=done&bad=" + bad); setTimeout(function () { window.close(); }, 300); }
  };
  x.send();
}
</script></body></html>"""


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    page = b""
    log = []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.log.append(self.path)
        body = self.server.page if self.path.startswith("/login.html") else b"d" * 2048
        self.send_response(200)
        self.send_header("Content-Type", "text/html" if self.path.startswith("/login") else
                         "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def run(shell, server):
    """(requests of /res/, most open descriptors, most open files of the cache root, the page's
    report)"""
    server.log.clear()
    cache_root = tempfile.mkdtemp(prefix="gs-cache-")
    process = subprocess.Popen([shell], cwd=cache_root, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    most, files, done, deadline = 0, 0, None, time.time() + 180
    while process.poll() is None and time.time() < deadline:
        try:
            fds = os.listdir(f"/proc/{process.pid}/fd")
            most = max(most, len(fds))
            targets = []
            for fd in fds:
                try:
                    targets.append(os.readlink(f"/proc/{process.pid}/fd/{fd}"))
                except OSError:
                    pass
            files = max(files, sum(1 for t in targets if t.startswith(cache_root + "/")))
        except OSError:
            pass
        done = done or next((p for p in server.log if "event=done" in p), None)
        time.sleep(0.02)
    if process.poll() is None:
        process.kill()
        process.wait()
    shutil.rmtree(cache_root, ignore_errors=True)
    fetches = sum(1 for p in list(server.log) if p.startswith("/res/"))
    m = re.search(r"bad=(\d+)", done or "")
    return fetches, most, files, int(m.group(1)) if m else None


def main():
    shell, port = sys.argv[1], int(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    server = Server(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"{runs} runs each (median, then all as (fetches, descriptors, cache root files, "
          "answers wrong or lost))")
    for name, (count, pattern) in SHAPES.items():
        server.page = (PAGE % (count, pattern)).encode()
        results = [run(shell, server) for _ in range(runs)]
        print(f"  {count} {name}: network fetches {statistics.median(r[0] for r in results):.0f} "
              f"(floor {count}), most open descriptors "
              f"{statistics.median(r[1] for r in results):.0f}, of them files of the cache root "
              f"{statistics.median(r[2] for r in results):.0f}   all: {results}")
    server.shutdown()


if __name__ == "__main__":
    main()
