"""Start-up measures: time from process start to the game window shown and to the page's first
paint (the login page's own background colour on the screen at the window's top left), and the
memory of the whole process tree once the page has loaded. Used by chromium_engine.py."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import x11  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
# demo/www/login.html's body background: no loading window or cover of the shell's has it.
PAGE_BACKGROUND = (0x18, 0x28, 0x48)

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
