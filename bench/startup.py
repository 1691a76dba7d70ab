#!/usr/bin/env python3
"""Start-up benchmark: time from process start to the game window shown, and the resident memory
of the whole process tree (browser plus engine sub-processes) once the page has loaded, for
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
    shown = None
    while time.monotonic() - started < 30:
        if desktop.find(title, visible=True) is not None:
            shown = time.monotonic() - started
            break
        time.sleep(0.005)
    time.sleep(3)  # let the page and its resources settle
    rss, pss = memory_kib(process.pid)
    process.kill()
    process.wait()
    desktop.close()
    time.sleep(0.5)
    return shown, rss, pss


def main():
    shell, minimal, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "demo", "server.py"),
                               "--port", str(port)], stdout=subprocess.PIPE, text=True)
    server.stdout.readline()
    url = f"http://127.0.0.1:{port}/login.html?id=2"
    results = {"gameshell": [], "minimal": []}
    try:
        for _ in range(runs):
            # Alternate, so drift in the machine's load hits both alike.
            with tempfile.TemporaryDirectory() as cwd:
                results["gameshell"].append(measure([shell], "Varnholt", cwd))
            results["minimal"].append(
                measure([minimal, "--webEngineArgs", "--no-sandbox", url], "minimal", ROOT))
    finally:
        server.terminate()

    def summary(name):
        shown = [r[0] for r in results[name] if r[0] is not None]
        return (statistics.median(shown), statistics.median(r[1] for r in results[name]),
                statistics.median(r[2] for r in results[name]))

    shell_s, minimal_s = summary("gameshell"), summary("minimal")
    print(f"runs each: {runs} (medians)")
    print(f"{'':24}{'gameshell':>12}{'minimal':>12}{'ratio':>8}")
    print(f"{'start to window shown':24}{shell_s[0]*1000:>10.0f}ms{minimal_s[0]*1000:>10.0f}ms"
          f"{shell_s[0]/minimal_s[0]:>8.2f}")
    print(f"{'process tree RSS':24}{shell_s[1]/1024:>10.0f}MB{minimal_s[1]/1024:>10.0f}MB"
          f"{shell_s[1]/minimal_s[1]:>8.2f}")
    print(f"{'process tree PSS':24}{shell_s[2]/1024:>10.0f}MB{minimal_s[2]/1024:>10.0f}MB"
          f"{shell_s[2]/minimal_s[2]:>8.2f}")


if __name__ == "__main__":
    main()
