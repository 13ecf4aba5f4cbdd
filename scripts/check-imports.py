#!/usr/bin/env python3
"""Imports only go down: every #include of the project's own files must come
from the including room itself or from a room below it.

    scripts/check-imports.py [ROOT]

Each source file belongs to the room whose folder holds it (the longest
prefix in ROOMS). An include names a project file when a file of that name
stands beside the including file, or at the end of a path in the tree; it is
refused when every such file lies in a room the including room may not use.
Includes in angle brackets are the system's or a package's (<gtest/...>,
<nlohmann/...>), except the public C headers, which are checked like the
others. A room's tests may also use test_support/ and the tests of the rooms
it may use (their stand-ins and fixtures).
"""

import os
import re
import sys

# Room: the rooms it may include from, besides itself. The public C
# interfaces (include/) are the ground under everything.
ROOMS = {
    "include": [],
    "common": ["include"],
    "velmo": ["include", "common"],
    "transports/sim": ["include", "common"],
    "transports/trace": ["include", "common"],
    "transports/tap": ["transports/trace", "include", "common"],
    "transports/replay": ["transports/trace", "include", "common"],
    "core": ["include", "common"],
    "console/dialog": ["core", "include", "common"],
    "console/qt": ["console/dialog", "core", "include", "common"],
    "console/win32": ["console/dialog", "core", "include", "common"],
    "line": ["core", "include", "common"],
    "cli": ["line", "core", "transports/trace", "include", "common"],
    # Tests, benchmarks, fuzz targets and examples drive the rooms from
    # outside: they may use any room, but no room may use them.
    "test_support": ["include", "common"],
    "examples": ["include"],
    "benchmarks": ["cli", "line", "core", "transports/sim", "transports/trace", "velmo", "include", "common",
                   "test_support"],
    "fuzz": ["cli", "line", "core", "velmo", "include", "common", "test_support", "core/tests"],
}

SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp|rc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SKIP = {"build", ".git", "python", "node_modules"}


def room_of(path):
    best = None
    for room in ROOMS:
        if path == room or path.startswith(room + "/"):
            if best is None or len(room) > len(best):
                best = room
    return best


def tests_room(path):
    """The room whose tests hold path ("core" for core/tests/x.cpp)."""
    parts = path.split("/")
    if "tests" in parts:
        return "/".join(parts[: parts.index("tests")])
    return None


def allowed(from_room, from_path, to_path):
    to_room = room_of(to_path)
    if to_room is None:
        return True
    if to_room == from_room:
        # Within a room, production code may not use the room's own tests.
        return tests_room(from_path) is not None or tests_room(to_path) is None
    floors = ROOMS.get(from_room, [])
    owner = tests_room(from_path)
    if owner is not None:
        # Tests: the room's floors, test_support, and the floors' tests.
        if to_room == "test_support":
            return True
        under = tests_room(to_path)
        if under is not None:
            return room_of(under) in floors or room_of(under) == from_room
        return to_room in floors
    if tests_room(to_path) is not None:
        return from_room in ("fuzz", "benchmarks") and to_room in floors
    return to_room in floors


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    files = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames if d not in SKIP]
        for name in filenames:
            if SOURCE.search(name):
                files.append(os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, "/"))
    by_tail = {}
    for f in files:
        parts = f.split("/")
        for i in range(len(parts)):
            by_tail.setdefault("/".join(parts[i:]), []).append(f)

    checked = 0
    broken = []
    for f in files:
        room = room_of(f)
        if room is None:
            continue
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            body = text.read()
        for bracket, name in INCLUDE.findall(body):
            if bracket == "<" and not name.startswith(("velmo/", "xolt/", "varimon/")):
                continue
            beside = os.path.normpath(os.path.join(os.path.dirname(f), name)).replace(os.sep, "/")
            targets = [beside] if beside in files else by_tail.get(name, [])
            if not targets:
                continue  # a generated or system header
            checked += 1
            if not any(allowed(room, f, t) for t in targets):
                broken.append(f"{f}: #include \"{name}\" reaches {', '.join(sorted(set(room_of(t) or '?' for t in targets)))}, "
                              f"which {room} may not use")
    for line in broken:
        print(line, file=sys.stderr)
    print(f"{checked} includes of the project's own files checked, {len(broken)} going up or sideways")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
