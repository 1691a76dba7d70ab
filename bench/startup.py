#!/usr/bin/env python3
"""Start-up benchmark: time from process start to the game window shown and to the page's first
paint (the login page's own background colour on the screen at the window's top left), and the
resident memory of the whole process tree (browser plus engine sub-processes) once the page has loaded, for
gameshell and for a minimal Qt WebEngine program showing the same demo page, in the same run.

Usage: startup.py <gameshell> <minimal_browser> <login port> [runs]"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import x11  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
# demo/www/login.html's body background: no loading window or cover of the shell's has it.
PAGE_BACKGROUND = (0x18, 0x28, 0x48)

# The engine switches gameshell starts Chromium with (app/core/browser_switches.cpp, app/qt/engine_argv.cpp),
# for a third column that tells the cost of the switches from the cost of the shell's own code.
SHELL_SWITCHES = [
    "--lang=zh-CN", "--site-per-process", "--enable-features=StrictOriginIsolation",
    "--disable-logging", "--log-level=3", "--remote-debugging-port=19224",
    "--disable-background-timer-throttling", "--disable-backgrounding-occluded-windows",
    "--disable-renderer-backgrounding", "--enable-begin-frame-scheduling=1",
    "--disable-gpu-vsync=0", "--disable-web-security", "--allow-file-access-from-files=1",
    "--enable-webgl=1", "--ignore-gpu-blocklist=1"]


def tree(pid):
    pids = [pid]
    for p in pids:
        try:
            with open(f"/proc/{p}/task/{p}/children") as f:
                pids += [int(c) for c in f.read().split()]
        except OSError:
            pass
    return pids


def memory_kib(pid):
    rss = pss = 0
    for p in tree(pid):
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Rss:"):
                        rss += int(line.split()[1])
                    elif line.startswith("Pss:"):
                        pss += int(line.split()[1])
        except OSError:
            pass
    return rss, pss


def measure(args, title, cwd):
    desktop = x11.Desktop()
    started = time.monotonic()
    process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = painted = window = None
    while time.monotonic() - started < 30:
        window = desktop.find(title, visible=True)
        if window is not None:
            shown = time.monotonic() - started
            break
        time.sleep(0.005)
    while window is not None and time.monotonic() - started < 30:
        try:
            pixel = desktop.pixel(window, 4, 4)
        except Exception:  # the window is being mapped or moved
            pixel = None
        if pixel and all(abs(a - b) <= 2 for a, b in zip(pixel, PAGE_BACKGROUND)):
            painted = time.monotonic() - started
            break
        time.sleep(0.005)
    time.sleep(3)  # let the page and its resources settle
    rss, pss = memory_kib(process.pid)
    process.kill()
    process.wait()
    desktop.close()
    time.sleep(0.5)
    return shown, painted, rss, pss


def main():
    shell, minimal, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "demo", "server.py"),
                               "--port", str(port)], stdout=subprocess.PIPE, text=True)
    server.stdout.readline()
    url = f"http://127.0.0.1:{port}/login.html?id=2"
    results = {"gameshell": [], "minimal": [], "switches": []}
    try:
        for _ in range(runs):
            # Alternate, so drift in the machine's load hits both alike.
            with tempfile.TemporaryDirectory() as cwd:
                results["gameshell"].append(measure([shell], "Varnholt", cwd))
            results["minimal"].append(
                measure([minimal, "--webEngineArgs", "--no-sandbox", url], "minimal", ROOT))
            results["switches"].append(measure(
                [minimal, "--webEngineArgs", "--no-sandbox", *SHELL_SWITCHES, url], "minimal", ROOT))
    finally:
        server.terminate()

    def summary(name):
        def median(i):
            values = [r[i] for r in results[name] if r[i] is not None]
            return statistics.median(values) if values else float("nan")
        return median(0), median(1), median(2), median(3)

    shell_s, minimal_s, switches_s = summary("gameshell"), summary("minimal"), summary("switches")
    print(f"runs each: {runs} (medians); 'switches' is the minimal program with the shell's "
          "engine switches")
    print(f"{'':24}{'gameshell':>12}{'minimal':>12}{'ratio':>8}{'switches':>12}{'ratio':>8}")
    for label, i, unit, scale in [("start to window shown", 0, "ms", 1000),
                                  ("start to first paint", 1, "ms", 1000),
                                  ("process tree RSS", 2, "MB", 1 / 1024),
                                  ("process tree PSS", 3, "MB", 1 / 1024)]:
        print(f"{label:24}{shell_s[i]*scale:>10.0f}{unit}{minimal_s[i]*scale:>10.0f}{unit}"
              f"{shell_s[i]/minimal_s[i]:>8.2f}{switches_s[i]*scale:>10.0f}{unit}"
              f"{shell_s[i]/switches_s[i]:>8.2f}")


if __name__ == "__main__":
    main()
