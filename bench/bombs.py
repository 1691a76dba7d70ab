#!/usr/bin/env python3
"""Decompression bombs: the login page asks for one resource that decodes to 2 GiB of zeros
(brotli: under 2 KB on the wire; gzip: about 2 MB) and, a moment later, for 40 ordinary files.
Measured against a run whose "bomb" is an ordinary 1 KB file: the shell's main process's peak
memory (VmHWM) and when the last ordinary file reached the page; and that the page still read the
bomb's answer (from the network, once the shell has dropped it).

Usage: bombs.py <gameshell> <port> [runs]"""
import ctypes
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
import zlib

BOMB_BYTES = 2 << 30
PIECE = 16 << 20
SMALL = 40

PAGE = b"""<!DOCTYPE html><html><body><script>
var t0 = performance.now(), small = 0, bomb = -1;
function report(what) { var i = new Image(); i.src = "/report?" + what; }
function finish() {
  if (bomb < 0 || small < %d) return;
  report("event=done&small_ms=" + Math.round(smallDone - t0) + "&bomb_read=" + bomb);
  setTimeout(function () { window.close(); }, 300);
}
var smallDone = 0;
// Reads a little of the bomb's answer, as a page that gives up on it would.
fetch("/res/bomb.dat?v=1").then(function (r) {
  var reader = r.body.getReader(), read = 0;
  function more() {
    return reader.read().then(function (p) {
      if (p.done || (read += p.value.length) > (1 << 20)) { reader.cancel(); bomb = read; finish(); return; }
      return more();
    });
  }
  return more();
}).catch(function () { bomb = 0; finish(); });
setTimeout(function () {
  for (var i = 0; i < %d; ++i) {
    var x = new XMLHttpRequest();
    x.open("GET", "/res/" + i + ".dat?v=1");
    x.onloadend = function () { if (++small === %d) { smallDone = performance.now(); finish(); } };
    x.send();
  }
}, 200);
</script></body></html>""" % (SMALL, SMALL, SMALL)


def brotli_bomb():
    enc = ctypes.CDLL("libbrotlienc.so.1")
    enc.BrotliEncoderCreateInstance.restype = ctypes.c_void_p
    enc.BrotliEncoderCompressStream.argtypes = [ctypes.c_void_p, ctypes.c_int] + [ctypes.c_void_p] * 5
    state = ctypes.c_void_p(enc.BrotliEncoderCreateInstance(None, None, None))
    enc.BrotliEncoderSetParameter(state, 1, 5)  # quality
    zeros = ctypes.create_string_buffer(PIECE)
    out = ctypes.create_string_buffer(1 << 20)
    result = bytearray()
    for piece in range(BOMB_BYTES // PIECE + 1):
        finish = piece == BOMB_BYTES // PIECE
        avail_in = ctypes.c_size_t(0 if finish else PIECE)
        next_in = ctypes.c_void_p(ctypes.addressof(zeros))
        while True:
            avail_out = ctypes.c_size_t(len(out))
            next_out = ctypes.c_void_p(ctypes.addressof(out))
            enc.BrotliEncoderCompressStream(state, 2 if finish else 0, ctypes.byref(avail_in),
                                            ctypes.byref(next_in), ctypes.byref(avail_out),
                                            ctypes.byref(next_out), None)
            result += out.raw[:len(out) - avail_out.value]
            if avail_in.value == 0 and (not finish or enc.BrotliEncoderIsFinished(state)):
                break
    enc.BrotliEncoderDestroyInstance(state)
    return bytes(result)


def gzip_bomb():
    z = zlib.compressobj(9, zlib.DEFLATED, 16 + 15)
    zeros = bytes(PIECE)
    return b"".join(z.compress(zeros) for _ in range(BOMB_BYTES // PIECE)) + z.flush()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    bomb = (b"x" * 1024, "")
    log = []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.log.append(self.path)
        if self.path.startswith("/login.html"):
            body, encoding = PAGE, ""
        elif self.path.startswith("/res/bomb.dat"):
            body, encoding = self.server.bomb
        elif self.path.startswith("/res/"):
            body, encoding = os.urandom(64 * 1024), ""
        else:
            body, encoding = b"", ""
        self.send_response(200)
        self.send_header("Content-Type", "text/html" if self.path.startswith("/login") else
                         "application/octet-stream")
        if encoding:
            self.send_header("Content-Encoding", encoding)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def run(shell, server):
    """(peak MB of the main process, ms to the last ordinary file, bytes of the bomb read)"""
    server.log.clear()
    cache_root = tempfile.mkdtemp(prefix="gs-cache-")
    process = subprocess.Popen([shell], cwd=cache_root, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    peak, done, deadline = 0, None, time.time() + 120
    while process.poll() is None and time.time() < deadline:
        try:
            with open(f"/proc/{process.pid}/status") as f:
                peak = max([peak] + [int(line.split()[1]) for line in f if line.startswith("VmHWM:")])
        except OSError:
            pass
        done = done or next((p for p in server.log if "event=done" in p), None)
        time.sleep(0.05)
    if process.poll() is None:
        process.kill()
        process.wait()
    shutil.rmtree(cache_root, ignore_errors=True)
    m = re.search(r"small_ms=(\d+)&bomb_read=(\d+)", done or "")
    return peak / 1024, int(m.group(1)) if m else None, int(m.group(2)) if m else None


def main():
    shell, port = sys.argv[1], int(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    kinds = {"none": (b"x" * 1024, ""), "brotli": (brotli_bomb(), "br"), "gzip": (gzip_bomb(), "gzip")}
    server = Server(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    results = {kind: [] for kind in kinds}
    for _ in range(runs):
        for kind, bomb in kinds.items():
            server.bomb = bomb
            results[kind].append(run(shell, server))
    server.shutdown()
    print(f"a resource of {BOMB_BYTES >> 30} GiB of zeros, compressed, and {SMALL} ordinary files; "
          f"{runs} runs (median, then all)")
    base_mb = statistics.median(r[0] for r in results["none"])
    base_ms = statistics.median(r[1] or 0 for r in results["none"])
    for kind, bomb in kinds.items():
        mb = statistics.median(r[0] for r in results[kind])
        ms = statistics.median(r[1] or 0 for r in results[kind])
        print(f"  {kind:7} {len(bomb[0]):>9,} B on the wire: main-process peak {mb:6.0f} MB "
              f"({mb - base_mb:+.0f}), ordinary files after {ms:5.0f} ms ({ms - base_ms:+.0f}), "
              f"bomb answer read: {[r[2] for r in results[kind]]}   all: {results[kind]}")


if __name__ == "__main__":
    main()
