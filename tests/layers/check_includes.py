"""Every include of the shell's sources points down the layers, or stays within its component;
engine-neutral code (core/, and platform/ outside qt/) includes no Qt glue.

Usage: check_includes.py <source root>"""
import pathlib
import re
import sys

RANK = {"base": 0, "platform": 1, "cache": 2, "bridge": 2, "window": 2, "client": 3, "app": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def component_and_part(path):
    parts = pathlib.PurePosixPath(path).parts
    if not parts or parts[0] not in RANK:
        return None, None
    return parts[0], "qt" if "qt" in parts[1:-1] else "core"


def violations(root):
    for source in sorted(root.glob("*/**/*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        relative = source.relative_to(root).as_posix()
        here, here_part = component_and_part(relative)
        if here is None:
            continue
        for included in INCLUDE.findall(source.read_text(encoding="utf-8")):
            there, there_part = component_and_part(included)
            if there is None:
                continue  # generated headers, or a file beside this one
            if there != here and RANK[there] >= RANK[here]:
                yield f"{relative}: {included} is not below {here}"
            elif here_part == "core" and there_part == "qt":
                yield f"{relative}: engine-neutral code includes the Qt glue {included}"


def main():
    found = list(violations(pathlib.Path(sys.argv[1])))
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layers")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
