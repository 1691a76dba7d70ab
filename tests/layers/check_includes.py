"""Every include of the shell's sources points down the layers, or stays within its component;
engine-neutral code (core/, and platform/ outside the engines' folders) includes no engine's glue;
the glue of one engine includes none of another's, and devtools/ (which builds for Windows too)
nothing of Qt; and no files include each other in a loop (a header and its source count as one file).

Usage: check_includes.py <source root>"""
import pathlib
import re
import sys

RANK = {"base": 0, "platform": 1, "cache": 2, "bridge": 2, "window": 2, "client": 3, "app": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
QT_HEADER = re.compile(r'^\s*#\s*include\s+<Q', re.M)
ENGINES = ("qt", "devtools")


def component_and_part(path):
    parts = pathlib.PurePosixPath(path).parts
    if not parts or parts[0] not in RANK:
        return None, None
    for engine in ENGINES:
        if engine in parts[1:-1]:
            return parts[0], engine
    return parts[0], "core"


def violations(root):
    for source in sorted(root.glob("*/**/*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        relative = source.relative_to(root).as_posix()
        here, here_part = component_and_part(relative)
        if here is None:
            continue
        text = source.read_text(encoding="utf-8")
        if here_part == "devtools" and QT_HEADER.search(text):
            yield f"{relative}: the devtools engine includes Qt"
        for included in INCLUDE.findall(text):
            there, there_part = component_and_part(included)
            if there is None:
                continue  # generated headers, or a file beside this one
            if there != here and RANK[there] >= RANK[here]:
                yield f"{relative}: {included} is not below {here}"
            elif here_part == "core" and there_part != "core":
                yield f"{relative}: engine-neutral code includes the {there_part} glue {included}"
            elif there_part not in ("core", here_part):
                yield f"{relative}: {here_part} glue includes the {there_part} glue {included}"


def include_loops(root):
    edges = {}
    for source in root.glob("*/**/*"):
        relative = source.relative_to(root).as_posix()
        if source.suffix not in (".h", ".cpp") or component_and_part(relative)[0] is None:
            continue
        unit = relative.rsplit(".", 1)[0]
        for included in INCLUDE.findall(source.read_text(encoding="utf-8")):
            if component_and_part(included)[0] is not None and included.rsplit(".", 1)[0] != unit:
                edges.setdefault(unit, set()).add(included.rsplit(".", 1)[0])
    # Strongly connected components (Tarjan's algorithm); any with two files is a loop.
    index, low, stack, on_stack, loops = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for next_unit in edges.get(unit, ()):
            if next_unit not in index:
                visit(next_unit)
                low[unit] = min(low[unit], low[next_unit])
            elif next_unit in on_stack:
                low[unit] = min(low[unit], index[next_unit])
        if low[unit] == index[unit]:
            component = []
            while not component or component[-1] != unit:
                component.append(stack.pop())
                on_stack.discard(component[-1])
            if len(component) > 1:
                loops.append("include loop: " + " <-> ".join(sorted(component)))

    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    return loops


def main():
    found = list(violations(pathlib.Path(sys.argv[1]))) + include_loops(pathlib.Path(sys.argv[1]))
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layers")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
