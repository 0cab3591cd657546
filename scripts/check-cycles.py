#!/usr/bin/env python3
"""Lists every pair of source files in src/ and engines/ that include or call each other.

    scripts/check-cycles.py [BUILD]

Includes: a module (a .cpp and its .h) that includes another module that includes it back.
Calls (with BUILD, a configured and built tree): an object file that uses a symbol another object
defines, and the other uses one of its own. Symbols defined in more than one object (inline
functions, templates) belong to nobody and are left out. Exit code 1 when a pair is found.
"""
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ("src", "engines")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def sources():
    for folder in FOLDERS:
        for top, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.join(top, name)


def module(path):
    return os.path.relpath(os.path.splitext(path)[0], ROOT)


def resolve(including, name):
    # The including file's folder first, then each include root of the build.
    for base in (os.path.dirname(including), os.path.join(ROOT, "src"), os.path.join(ROOT, "engines")):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return candidate
    return None


def include_edges():
    edges = set()
    for path in sources():
        with open(path, encoding="latin-1") as f:
            for name in INCLUDE.findall(f.read()):
                target = resolve(path, name)
                if target and module(target) != module(path):
                    edges.add((module(path), module(target)))
    return edges


# The objects are the mingw tree's: its own nm reads them wherever it is installed.
NM = next((t for t in ("i686-w64-mingw32-nm", "nm", "llvm-nm") if shutil.which(t)), "nm")


def symbols(obj):
    out = subprocess.run([NM, obj], capture_output=True, text=True, check=True).stdout
    defined, used = set(), set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0] == "U":
            used.add(parts[1])
        elif len(parts) == 3 and parts[1] in "TDBR":
            defined.add(parts[2])
    return defined, used


def call_edges(build):
    objects = {}
    for top, _, names in os.walk(build):
        for name in names:
            if not name.endswith((".obj", ".o")):
                continue
            # CMake names an object after its source: <target>.dir/<path below the target's folder>.obj
            path = os.path.join(top, name)
            marker = path.find(".dir" + os.sep)
            if marker < 0:
                continue
            source_dir = os.path.dirname(os.path.dirname(path[:marker]))  # above CMakeFiles
            relative = os.path.relpath(source_dir, os.path.abspath(build))
            source = os.path.join(ROOT, relative, path[marker + 5 :].rsplit(".", 1)[0])
            if os.path.isfile(source) and os.path.relpath(source, ROOT).split(os.sep)[0] in FOLDERS:
                objects[module(source)] = symbols(path)
    owners = {}
    for name, (defined, _) in objects.items():
        for symbol in defined:
            owners.setdefault(symbol, set()).add(name)
    edges = set()
    for name, (_, used) in objects.items():
        for symbol in used:
            owner = owners.get(symbol)
            if owner and len(owner) == 1:
                (target,) = owner
                if target != name:
                    edges.add((name, target))
    return edges, len(objects)


def mutual(edges):
    return sorted({tuple(sorted(e)) for e in edges if (e[1], e[0]) in edges})


def main():
    found = 0
    pairs = mutual(include_edges())
    for a, b in pairs:
        print(f"includes each other: {a} <-> {b}")
    found += len(pairs)
    checked = "includes"
    if len(sys.argv) > 1:
        edges, count = call_edges(sys.argv[1])
        pairs = mutual(edges)
        for a, b in pairs:
            print(f"calls each other: {a} <-> {b}")
        found += len(pairs)
        checked += f" and calls of {count} objects"
    print(f"{found} pair(s) ({checked})")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
