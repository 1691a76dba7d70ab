#!/usr/bin/env python3
"""First run against a server that compresses what it is asked to: 1,000 resources (about 50 MB),
half compressible text (.conf), half incompressible (.dat), every answer sent gzip-encoded and
chunked (nginx compressing on the fly with `gzip_types *`, as is usual behind CDNs), loaded by one
page 12 at a time.

Measured in the same run: gameshell's first run and the bare engine (a minimal Qt WebEngine
program, no cache) on the same page: time and bytes on the wire; then that every stored file is
the decoded original, and that a second run asks the network for nothing.

Usage: compressed_load.py <gameshell> <minimal_browser> <port> [runs]"""
import os
import random
import shutil
import statistics
import sys
import tempfile

from cache_load import CONCURRENCY, NGINX, PAGE, Nginx, run

# GS_BENCH_COUNT and GS_BENCH_MB give another shape (say 300 resources of 41 MB: fewer, larger
# files, where each waits longer for its whole body).
COUNT = int(os.environ.get("GS_BENCH_COUNT", "1000"))
TOTAL_BYTES = float(os.environ.get("GS_BENCH_MB", "50")) * 1e6
WORDS = ["tile", "unit", "spawn", "x", "y", "hp", "armor", "speed", "quest", "reward", "gold",
         "npc", "dialog", "map", "layer", "sprite", "frame", "anim", "sound", "loop"]


def generate(root):
    rng = random.Random(22)
    os.makedirs(os.path.join(root, "res"))
    raw = [2 ** rng.uniform(10, 21) for _ in range(COUNT)]
    scale = TOTAL_BYTES / sum(raw)
    sizes = [max(1024, min(2 * 1024 * 1024, int(s * scale))) for s in raw]
    noise = os.urandom(2 * 1024 * 1024)
    text = []
    while sum(len(t) for t in text) < 2 * 1024 * 1024:
        text.append('{"%s":%d,"%s":"%s%d"},' % (rng.choice(WORDS), rng.randrange(100000),
                                                rng.choice(WORDS), rng.choice(WORDS),
                                                rng.randrange(1000)))
    text = "".join(text).encode()
    names = []
    for i, size in enumerate(sizes):
        name = f"{i}.conf" if i % 2 == 0 else f"{i}.dat"
        with open(os.path.join(root, "res", name), "wb") as f:
            f.write((text if i % 2 == 0 else noise)[:size])
        names.append(name)
    page = PAGE % {"count": COUNT, "concurrency": CONCURRENCY}
    page = page.replace('"/res/" + i + ".dat?v=1"', '"/res/" + i + (i % 2 ? ".dat" : ".conf") + "?v=1"')
    with open(os.path.join(root, "game.html"), "w") as f:
        f.write(page)
    return names


def main():
    shell, minimal, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    root = tempfile.mkdtemp(prefix="gs-game-")
    names = generate(root)
    total = sum(os.path.getsize(os.path.join(root, "res", n)) for n in names)
    conf = NGINX.replace("types { text/html html; application/octet-stream dat; }",
                         "types { text/html html; application/octet-stream dat; text/plain conf; }\n"
                         "  gzip on; gzip_types *; gzip_min_length 256; gzip_comp_level 1;")
    nginx = Nginx(root, port, conf)
    page = f"http://127.0.0.1:{port}/game.html"
    times = {"first": [], "engine": []}
    wire = {"first": [], "engine": []}
    mismatches, second_requests = [], []
    try:
        for _ in range(runs):
            cache_root = tempfile.mkdtemp(prefix="gs-cache-")
            ms, network, _ = run(nginx, [shell], cache_root)
            times["first"].append(ms)
            wire["first"].append(network)
            mismatches.append(sum(
                1 for n in names
                if not os.path.exists(os.path.join(cache_root, "res", n)) or
                open(os.path.join(cache_root, "res", n), "rb").read() !=
                open(os.path.join(root, "res", n), "rb").read()))
            run(nginx, [shell], cache_root)
            second_requests.append(sum(1 for line in nginx.lines() if " /res/" in line))
            shutil.rmtree(cache_root, ignore_errors=True)
            ms, network, _ = run(nginx, [minimal, "--webEngineArgs", "--no-sandbox", page], root)
            times["engine"].append(ms)
            wire["engine"].append(network)
    finally:
        nginx.stop()
        shutil.rmtree(root, ignore_errors=True)
    med = {k: statistics.median(v) for k, v in times.items()}
    bytes_med = {k: statistics.median(v) for k, v in wire.items()}
    print(f"{COUNT} resources, {total / 1e6:.1f} MB decoded, half gzip-compressible, "
          f"{runs} runs (median, then all)")
    print(f"  gameshell first run      {med['first'] / 1000:6.2f} s   {times['first']}")
    print(f"  bare engine, no cache    {med['engine'] / 1000:6.2f} s   {times['engine']}")
    print(f"  first run / engine time  {med['first'] / med['engine']:6.2f}   (target <= 1.1)")
    print(f"  bytes on the wire        {bytes_med['first'] / 1e6:6.2f} MB against "
          f"{bytes_med['engine'] / 1e6:.2f} MB")
    print(f"  first run / engine bytes {bytes_med['first'] / bytes_med['engine']:6.3f}   "
          f"(target <= 1.05)")
    print(f"  stored files not equal to the decoded original: {mismatches}")
    print(f"  second-run network requests: {second_requests}")


if __name__ == "__main__":
    main()
