#!/usr/bin/env python3
"""Resource cache benchmark: a generated game of 2,000 resources (about 100 MB, 1 KB to 5 MB)
loaded by one page, 12 requests at a time, which reports how long it took for all to arrive.

Measured in the same run, against nginx on loopback:
  first    gameshell, first start, every resource new
  warm     gameshell, second start, every resource from its cache
  nginx    the same page in a minimal Qt WebEngine program with no cache
  disk     the minimal program with Chromium's own disk cache (persistent profile, second load)
  floor    the minimal program fetching 2,000 two-byte files: the engine's per-request floor
Also: first-run network bytes / resource bytes, and the longest UI-thread stall of gameshell's
first run.

Usage: cache_load.py <gameshell with the UI-stall meter (target gameshell_ui_stalls)> <minimal_browser> <port>
       [runs]"""
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

COUNT = 2000
CONCURRENCY = 12

PAGE = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>bench</title></head><body>
<script>
var t0 = performance.now();
var floor = location.search.indexOf("floor=1") >= 0;
var urls = [];
for (var i = 0; i < %(count)d; ++i) urls.push(floor ? "/tiny/" + i + ".dat" : "/res/" + i + ".dat?v=1");
var next = 0, done = 0, bytes = 0;
function one() {
  if (next >= urls.length) return;
  var xhr = new XMLHttpRequest();
  xhr.open("GET", urls[next++]);
  xhr.responseType = "arraybuffer";
  xhr.onloadend = function () {
    bytes += xhr.response ? xhr.response.byteLength : 0;
    if (++done === urls.length) {
      var ms = Math.round(performance.now() - t0);
      var img = new Image();
      img.onload = img.onerror = function () { setTimeout(function () { window.close(); }, 300); };
      img.src = "/report?event=done&ms=" + ms + "&bytes=" + bytes;
    } else {
      one();
    }
  };
  xhr.send();
}
for (var c = 0; c < %(concurrency)d; ++c) one();
</script></body></html>
"""

NGINX = """daemon off;
worker_processes 1;
user root;
pid %(dir)s/nginx.pid;
error_log %(dir)s/error.log;
events { worker_connections 1024; }
http {
  log_format bench '$request $status $body_bytes_sent';
  access_log %(dir)s/access.log bench;
  client_body_temp_path %(dir)s/tmp;
  proxy_temp_path %(dir)s/tmp;
  fastcgi_temp_path %(dir)s/tmp;
  uwsgi_temp_path %(dir)s/tmp;
  scgi_temp_path %(dir)s/tmp;
  sendfile on;
  keepalive_requests 100000;
  types { text/html html; application/octet-stream dat; }
  server {
    listen 127.0.0.1:%(port)d;
    root %(root)s;
    add_header Cache-Control "public, max-age=86400";
    location = /login.html { try_files /game.html =404; }
  }
}
"""


def generate(root):
    rng = random.Random(2000)
    os.makedirs(os.path.join(root, "res"))
    os.makedirs(os.path.join(root, "tiny"))
    # Log-uniform sizes from 1 KB to 5 MB, scaled so the whole is about 100 MB.
    raw = [2 ** rng.uniform(10, 22.25) for _ in range(COUNT)]
    scale = 100e6 / sum(raw)
    sizes = [max(1024, min(5 * 1024 * 1024, int(s * scale))) for s in raw]
    chunk = os.urandom(5 * 1024 * 1024)
    for i, size in enumerate(sizes):
        with open(os.path.join(root, "res", f"{i}.dat"), "wb") as f:
            f.write(chunk[:size])
        with open(os.path.join(root, "tiny", f"{i}.dat"), "wb") as f:
            f.write(b"ok")
    with open(os.path.join(root, "game.html"), "w") as f:
        f.write(PAGE % {"count": COUNT, "concurrency": CONCURRENCY})
    return sum(sizes)


class Nginx:
    def __init__(self, root, port, config=NGINX):
        self.dir = tempfile.mkdtemp(prefix="gs-nginx-")
        os.makedirs(os.path.join(self.dir, "tmp"))
        conf = os.path.join(self.dir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(config % {"dir": self.dir, "port": port, "root": root})
        self.log = os.path.join(self.dir, "access.log")
        self.process = subprocess.Popen(["nginx", "-c", conf, "-p", self.dir])
        time.sleep(0.5)
        if self.process.poll() is not None:
            raise RuntimeError("nginx did not start")

    def clear(self):
        open(self.log, "w").close()
        subprocess.run(["nginx", "-c", os.path.join(self.dir, "nginx.conf"), "-p", self.dir,
                        "-s", "reopen"], stderr=subprocess.DEVNULL)

    def lines(self):
        with open(self.log) as f:
            return f.read().splitlines()

    def stop(self):
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


def run(nginx, args, cwd):
    """Runs a browser until its page reports; returns (ms, network bytes of /res/, stderr)."""
    nginx.clear()
    with tempfile.TemporaryFile() as err:
        process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=err)
        deadline = time.time() + 300
        ms = None
        while time.time() < deadline and ms is None:
            for line in nginx.lines():
                m = re.search(r"event=done&ms=(\d+)", line)
                if m:
                    ms = int(m.group(1))
            time.sleep(0.1)
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        err.seek(0)
        stderr = err.read().decode(errors="replace")
    network = sum(int(line.split()[-1]) for line in nginx.lines() if " /res/" in line)
    return ms, network, stderr


def main():
    shell, minimal, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    root = tempfile.mkdtemp(prefix="gs-game-")
    total = generate(root)
    nginx = Nginx(root, port)
    engine = ["--webEngineArgs", "--no-sandbox"]
    page = f"http://127.0.0.1:{port}/game.html"
    times = {"first": [], "warm": [], "nginx": [], "disk": [], "floor": []}
    first_ratio, stalls, warm_network, warm_stalls, baseline_stalls = [], [], [], [], []
    try:
        for _ in range(runs):
            cache_root = tempfile.mkdtemp(prefix="gs-cache-")
            ms, network, stderr = run(nginx, [shell], cache_root)
            times["first"].append(ms)
            first_ratio.append(network / total)
            m = re.search(r"ui-stall-max-ms (\d+) after-show (\d+)", stderr)
            if m:
                stalls.append((int(m.group(1)), int(m.group(2))))
            ms, network, stderr = run(nginx, [shell], cache_root)
            m = re.search(r"ui-stall-max-ms (\d+) after-show (\d+)", stderr)
            if m:
                warm_stalls.append(int(m.group(2)))
            times["warm"].append(ms)
            warm_network.append(network)
            shutil.rmtree(cache_root, ignore_errors=True)

            ms, _, stderr = run(nginx, [minimal, *engine, page], root)
            times["nginx"].append(ms)
            m = re.search(r"after-show (\d+)", stderr)
            if m:
                baseline_stalls.append(int(m.group(1)))

            profile = tempfile.mkdtemp(prefix="gs-profile-")
            run(nginx, [minimal, *engine, "--profile", profile, page], root)
            times["disk"].append(run(nginx, [minimal, *engine, "--profile", profile, page], root)[0])
            shutil.rmtree(profile, ignore_errors=True)

            times["floor"].append(run(nginx, [minimal, *engine, page + "?floor=1"], root)[0])
    finally:
        nginx.stop()
        shutil.rmtree(root, ignore_errors=True)

    med = {k: statistics.median(v) for k, v in times.items()}
    print(f"{COUNT} resources, {total / 1e6:.1f} MB, {CONCURRENCY} requests at a time, "
          f"{runs} runs (median, then all)")
    for name, label in [("first", "gameshell first run"), ("warm", "gameshell warm cache"),
                        ("nginx", "no cache, nginx"),
                        ("disk", "Chromium disk cache"), ("floor", "per-request floor")]:
        print(f"  {label:24} {med[name] / 1000:6.2f} s   {times[name]}")
    print(f"  first run / no cache     {med['first'] / med['nginx']:6.2f}   (target <= 1.1 on a "
          f"100 Mbit/s link)")
    print(f"  warm / disk cache        {med['warm'] / med['disk']:6.2f}   (target <= 0.8)")
    print(f"  warm / no cache, nginx   {med['warm'] / med['nginx']:6.2f}   (target <= 0.7)")
    print(f"  warm / floor             {med['warm'] / med['floor']:6.2f}   (target <= 1.1)")
    print(f"  warm start network bytes {statistics.median(warm_network):,.0f}")
    print(f"first run network / resource bytes  {statistics.median(first_ratio):.3f}   "
          f"(target <= 1.02)")
    if stalls:
        print(f"first run longest UI-thread stall, whole run   {max(s[0] for s in stalls)} ms"
              f"   {[s[0] for s in stalls]}")
        print(f"first run longest UI-thread stall, after show  {max(s[1] for s in stalls)} ms"
              f"   {[s[1] for s in stalls]} (target < 50)")
        print(f"warm run longest UI-thread stall, after show   {max(warm_stalls)} ms   {warm_stalls}")
    if baseline_stalls:
        print(f"minimal program, no cache, longest stall       {max(baseline_stalls)} ms"
              f"   {baseline_stalls}")


if __name__ == "__main__":
    main()
