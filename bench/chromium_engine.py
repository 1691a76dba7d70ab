#!/usr/bin/env python3
"""The shell on the system's Chromium against that same Chromium without the shell, side by side
in one run.

The bare browser runs with the very switches the shell gave it (read from the shell's browser
process during the same run), its own fresh profile, and `--app` on the same page.

  load        2,000 incompressible resources (about 100 MB, load_game.py)
  compressed  300 resources of 41 MB, half random bytes and half JSON-like text, every answer
              gzip-encoded (level 5) and chunked by nginx (compressed_game.py)
  startup     start to the game window's first paint and the memory of every process, on the demo
              login page

Load measures, by the page's own clock: the shell's first run and warm run, the bare browser with
no cache and with its own disk cache (its second load of the page in one profile); and the bytes
each first run took from the network.

Usage: chromium_engine.py <load|compressed|startup> <gameshell> <port> [runs]"""
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import compressed_game
import first_paint
import load_game


def descendants(pid):
    return first_paint.tree(pid)[1:]


def browser_argv(shell_pid):
    """The command line the shell started its browser with."""
    for pid in descendants(shell_pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = [a.decode() for a in f.read().split(b"\0") if a]
        except OSError:
            continue
        if any(a.startswith("--remote-debugging-pipe") for a in argv):
            return argv
    return None


def bare_argv(argv, profile, page):
    """The shell's browser command line for the bare browser: no pipe, its own profile, `page`."""
    bare = []
    for arg in argv:
        if arg.startswith("--remote-debugging-pipe"):
            continue
        if arg.startswith("--user-data-dir="):
            arg = "--user-data-dir=" + profile
        elif arg.startswith("--app="):
            arg = "--app=" + page
        bare.append(arg)
    return bare


def run(nginx, args, cwd, on_start=None):
    """Runs a program until its page reports, then ends it as a player would (SIGTERM) and waits
    for it; returns (ms, network bytes of /res/)."""
    nginx.clear()
    process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    deadline = time.time() + 300
    ms = None
    while time.time() < deadline and ms is None:
        if on_start:
            on_start(process.pid)
        for line in nginx.lines():
            m = re.search(r"event=done&ms=(\d+)", line)
            if m:
                ms = int(m.group(1))
        time.sleep(0.1)
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        pass
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()
    network = sum(int(line.split()[-1]) for line in nginx.lines() if " /res/" in line)
    return ms, network


def load(shell, port, runs, compressed):
    root = tempfile.mkdtemp(prefix="gs-game-")
    if compressed:
        os.environ.setdefault("GS_BENCH_COUNT", "300")
        os.environ.setdefault("GS_BENCH_MB", "41")
        compressed_game.COUNT = int(os.environ["GS_BENCH_COUNT"])
        compressed_game.TOTAL_BYTES = float(os.environ["GS_BENCH_MB"]) * 1e6
        names = compressed_game.generate(root)
        total = sum(os.path.getsize(os.path.join(root, "res", n)) for n in names)
        config = load_game.NGINX.replace(
            "types { text/html html; application/octet-stream dat; }",
            "types { text/html html; application/octet-stream dat; text/plain conf; }\n"
            "  gzip on; gzip_types *; gzip_min_length 256; gzip_comp_level 5;")
        shape = f"{compressed_game.COUNT} resources, {total / 1e6:.1f} MB decoded, half " \
                "compressible, gzip level 5, chunked"
    else:
        total = load_game.generate(root)
        config = load_game.NGINX
        shape = f"{load_game.COUNT} resources, {total / 1e6:.1f} MB, incompressible"
    nginx = load_game.Nginx(root, port, config)
    page = f"http://127.0.0.1:{port}/game.html"
    times = {k: [] for k in ("first", "warm", "bare", "disk")}
    wire = {k: [] for k in ("first", "bare")}
    argv = []

    def catch(pid):
        if not argv:
            argv.extend(browser_argv(pid) or [])

    try:
        for _ in range(runs):
            # Alternated in each round, so that drift in the machine's load hits all alike.
            cache_root = tempfile.mkdtemp(prefix="gs-cache-")
            ms, network = run(nginx, [shell], cache_root, catch)
            times["first"].append(ms)
            wire["first"].append(network)
            times["warm"].append(run(nginx, [shell], cache_root)[0])
            shutil.rmtree(cache_root, ignore_errors=True)
            if not argv:
                raise RuntimeError("the shell's browser was not seen")
            profile = tempfile.mkdtemp(prefix="gs-profile-")
            ms, network = run(nginx, bare_argv(argv, profile, page), root)
            times["bare"].append(ms)
            wire["bare"].append(network)
            times["disk"].append(run(nginx, bare_argv(argv, profile, page), root)[0])
            shutil.rmtree(profile, ignore_errors=True)
    finally:
        nginx.stop()
        shutil.rmtree(root, ignore_errors=True)

    def med(values):
        values = [v for v in values if v is not None]
        return statistics.median(values) if values else float("nan")

    t = {k: med(v) for k, v in times.items()}
    b = {k: med(v) for k, v in wire.items()}
    print(f"{shape}, {load_game.CONCURRENCY} requests at a time, {runs} runs (median, then all)")
    for name, label in [("first", "shell, first run"), ("warm", "shell, warm run"),
                        ("bare", "bare browser, no cache"), ("disk", "bare browser, disk cache")]:
        print(f"  {label:26} {t[name] / 1000:6.2f} s   {times[name]}")
    print(f"  first run / bare           {t['first'] / t['bare']:6.2f}   (target <= "
          f"{1.1 if compressed else 1.05})")
    print(f"  warm / disk cache          {t['warm'] / t['disk']:6.2f}   (target <= 0.8)")
    print(f"  bytes, first run / bare    {b['first'] / b['bare']:6.3f}   (target 1.00; "
          f"{b['first'] / 1e6:.2f} MB against {b['bare'] / 1e6:.2f} MB)")


def start(shell, port, runs):
    server = subprocess.Popen([sys.executable, os.path.join(first_paint.ROOT, "demo", "server.py"),
                               "--port", str(port)], stdout=subprocess.PIPE, text=True)
    server.stdout.readline()
    url = f"http://127.0.0.1:{port}/login.html?id=2"
    results = {"shell": [], "bare": []}
    argv = []
    try:
        for _ in range(runs):
            with tempfile.TemporaryDirectory() as cwd:
                results["shell"].append(first_paint.measure([shell], "Varnholt", cwd))
                # The switches of a run of its own: the measured one is not slowed by the look.
                if not argv:
                    process = subprocess.Popen([shell], cwd=cwd, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                    deadline = time.time() + 20
                    while time.time() < deadline and not argv:
                        argv.extend(browser_argv(process.pid) or [])
                        time.sleep(0.05)
                    process.terminate()
                    process.wait()
            with tempfile.TemporaryDirectory() as profile:
                # The bare browser's window keeps the page's title.
                results["bare"].append(
                    first_paint.measure(bare_argv(argv, profile, url), "Varnholt demo login",
                                    first_paint.ROOT))
    finally:
        server.terminate()

    def median(name, i):
        values = [r[i] for r in results[name] if r[i] is not None]
        return statistics.median(values) if values else float("nan")

    print(f"runs each: {runs} (medians)")
    print(f"{'':26}{'shell':>10}{'bare':>10}{'ratio':>8}")
    for label, i, unit, scale in [("start to window shown", 0, "ms", 1000),
                                  ("start to first paint", 1, "ms", 1000),
                                  ("all processes' RSS", 2, "MB", 1 / 1024),
                                  ("all processes' PSS", 3, "MB", 1 / 1024)]:
        s, b = median("shell", i), median("bare", i)
        print(f"{label:26}{s * scale:>8.0f}{unit}{b * scale:>8.0f}{unit}{s / b:>8.2f}")
    print("  targets: first paint <= 1.15, memory <= +25 MiB "
          f"(PSS difference {(median('shell', 3) - median('bare', 3)) / 1024:.1f} MiB)")


def main():
    mode, shell, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    if mode == "startup":
        start(shell, port, runs)
    else:
        load(shell, port, runs, compressed=mode == "compressed")


if __name__ == "__main__":
    main()
