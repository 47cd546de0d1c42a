#!/usr/bin/env python3
"""Fails when a product file includes a folder above its own. The folders,
from the top: app, then the dialogs (ui), the platform adapters, the
portable core (core), and the resources at the bottom; a file may
include its own folder and any folder below it.

    python3 check_includes.py REPOSITORY_ROOT
"""
import pathlib
import re
import sys

LAYERS = ["app", "ui", "platform", "core", "resources"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/', re.MULTILINE)


def upward_includes(root):
    for rank, layer in enumerate(LAYERS):
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".in", ".rc"):
                continue
            for folder in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if folder in LAYERS and LAYERS.index(folder) < rank:
                    yield f"{path.relative_to(root)} includes {folder}/, which is above {layer}/"


def main():
    found = list(upward_includes(pathlib.Path(sys.argv[1])))
    print("\n".join(found) or f"every include runs downhill: {' -> '.join(LAYERS)}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
