"""The load benchmark's game: 2,000 incompressible resources (about 100 MB, 1 KB to 5 MB) that
one page loads 12 at a time, reporting how long it took for all to arrive, served by nginx on
loopback. Used by chromium_engine.py."""
import os
import random
import shutil
import subprocess
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
