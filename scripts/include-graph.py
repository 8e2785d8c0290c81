#!/usr/bin/env python3
"""The include graph of the library's folders, one line per folder, and a check
that every arrow points down the layers:

    python/src  ->  src/driver  ->  src/solver  ->  src/methods/<method>  ->  src/methods
      ->  src/stages, src/jit  ->  src/vocabulary, src/device  ->  include/orvane(/detail)

A folder may include its own files and any folder of a lower layer; the
methods never include each other. Exits 1, naming each arrow that points up or
sideways, when one does.

    scripts/include-graph.py [--quiet]
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = [
    ("include/orvane", 0), ("include/orvane/detail", 0),
    ("src/vocabulary", 1), ("src/device", 1),
    ("src/stages", 2), ("src/jit", 2),
    ("src/methods", 3),
    ("src/methods/*", 4),
    ("src/solver", 5),
    ("src/driver", 6),
    ("python/src", 7),
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(folder):
    for name, rank in LAYERS:
        if name == folder or (name.endswith("/*") and os.path.dirname(folder) == name[:-2]):
            return rank
    return None


def folder_of_include(path):
    """The folder a quoted include names, as a source folder of the tree."""
    if path.startswith("orvane/"):
        return os.path.dirname("include/" + path)
    for prefix in ("src/", ""):
        if os.path.exists(os.path.join(ROOT, prefix + path)) or os.path.exists(
                os.path.join(ROOT, prefix + path + ".in")):
            return os.path.dirname(prefix + path)
    return os.path.dirname("src/" + path)  # generated (jit/jit_config.h)


def main():
    quiet = "--quiet" in sys.argv[1:]
    graph, wrong = {}, []
    for base in ("include", "src", "python/src"):
        for dirpath, _, files in os.walk(os.path.join(ROOT, base)):
            folder = os.path.relpath(dirpath, ROOT)
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".cu", ".in")):
                    continue
                text = open(os.path.join(dirpath, name), encoding="utf-8").read()
                for target in INCLUDE.findall(text):
                    to = folder_of_include(target)
                    if to == folder:
                        continue
                    graph.setdefault(folder, set()).add(to)
                    a, b = layer(folder), layer(to)
                    sideways = a == b and folder.startswith("src/methods/") and to.startswith("src/methods/")
                    # Within a layer only the public headers include each other.
                    if a is None or b is None or b > a or sideways or (b == a and a != 0):
                        wrong.append(f"{folder}/{name} includes {target} ({to})")
    if not quiet:
        for folder in sorted(graph, key=lambda f: (layer(f) if layer(f) is not None else 99, f)):
            print(f"{folder:24} -> {', '.join(sorted(graph[folder]))}")
    for w in wrong:
        print("upward or sideways: " + w, file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
