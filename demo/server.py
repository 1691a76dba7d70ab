#!/usr/bin/env python3
"""The demo game's web server: serves static files from one or more roots on 127.0.0.1 and logs
every answered request as one line "METHOD target status bytes", so tests can count what reached
the network. GET /report?... answers 204; pages use it to report what they saw. GET /redirect?to=URL answers 302;
"delay=<seconds>" in any query delays the answer."""
import argparse
import mimetypes
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

mimetypes.add_type("audio/wav", ".wav")
mimetypes.add_type("image/webp", ".webp")
mimetypes.add_type("text/plain", ".conf")
mimetypes.add_type("application/octet-stream", ".dat")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    roots = []
    log_file = None
    log_lock = threading.Lock()

    def log_message(self, *args):
        pass

    def handle(self):
        # Browsers drop connections they no longer need; that is no error worth a traceback.
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass

    def record(self, status, size):
        line = f"{self.command} {self.path} {status} {size}\n"
        with self.log_lock:
            if self.log_file:
                self.log_file.write(line)
                self.log_file.flush()

    def resolve(self, url_path):
        relative = urllib.parse.unquote(url_path).lstrip("/")
        for root in self.roots:
            candidate = os.path.realpath(os.path.join(root, relative))
            if candidate.startswith(os.path.realpath(root) + os.sep) and os.path.isfile(candidate):
                return candidate
        return None

    def answer(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.send_header("Access-Control-Allow-Origin", "*")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.record(status, len(body))

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        url_path = url.path
        query = urllib.parse.parse_qs(url.query)
        # Test pages ask for slow answers with "delay=<seconds>" in their query.
        if "delay" in query:
            time.sleep(min(float(query["delay"][0]), 30.0))
        if url_path == "/redirect":
            target = query.get("to", ["/"])[0]
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.record(302, 0)
            return
        if url_path == "/report":
            self.send_response(204)
            self.send_header("Content-Length", "0")
            self.send_header("Access-Control-Allow-Origin", "*")
            self.end_headers()
            self.record(204, 0)
            return
        file_path = self.resolve(url_path)
        if file_path is None:
            self.answer(404, b"not found\n")
            return
        with open(file_path, "rb") as f:
            body = f.read()
        content_type = mimetypes.guess_type(file_path)[0] or "application/octet-stream"
        if content_type.startswith("text/") or content_type.endswith("javascript"):
            content_type += "; charset=utf-8"
        self.answer(200, body, content_type)

    do_HEAD = do_GET


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--root", action="append", help="directory to serve; the first match wins")
    parser.add_argument("--log", help="file receiving one line per answered request")
    parser.add_argument("--exit-with-parent", action="store_true",
                        help="stop when the process that started the server is gone")
    args = parser.parse_args()
    Handler.roots = args.root or [os.path.join(os.path.dirname(os.path.abspath(__file__)), "www")]
    Handler.log_file = open(args.log, "a", buffering=1) if args.log else None
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    print(f"listening on {server.server_address[1]}", flush=True)
    if args.exit_with_parent:
        parent = os.getppid()

        def watch():
            while os.getppid() == parent:
                time.sleep(0.5)
            os._exit(0)

        threading.Thread(target=watch, daemon=True).start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
