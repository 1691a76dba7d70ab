"""The compressed benchmark's game: resources half compressible text (.conf), half incompressible
(.dat), which nginx sends gzip-encoded and chunked (`gzip_types *`, as is usual behind CDNs).
Used by chromium_engine.py."""
import os
import random

from load_game import CONCURRENCY, PAGE

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
