#!/usr/bin/env python3
# Checks the floors of the stub's code (src/CMakeLists.txt names them): every
# quoted include is a path from src/ (or the resource ids from res/), no file
# includes one of a higher floor, and no two files depend on each other in a
# circle. A header and the .cpp that implements it (of the same name, or the
# name and a suffix such as _win) are one file here, wherever each lies; so
# is the private header of its insides beside it (archive_reader_state.h of
# archive_reader.h).
#
#   python3 scripts/check-layers.py [SRC_DIR]
import os
import re
import sys

# Lowest first. A file belongs to the first floor whose pattern matches its
# path from src/.
FLOORS = [
    ("platform", r"platform/"),
    ("core", r"(startup/[^/]+$|archive/|crypto/|extract/path_helpers\.)"),
    ("startup/win32", r"startup/win32/"),
    ("frame link", r"wizard/frame_link\."),
    ("extract/win32", r"extract/win32/"),
    ("commands", r"commands/"),
    ("wizard", r"wizard/"),
    ("top", r"[^/]+$"),
]
# Headers from outside src/: the resource ids, shared with the .rc files.
OUTSIDE = {"resource_ids.h"}

INCLUDE = re.compile(r'\s*#\s*include\s+([<"])([^">]+)[">]')


def floor_of(path):
    for index, (_, pattern) in enumerate(FLOORS):
        if re.match(pattern, path):
            return index
    return None


def read_includes(src, path):
    """The quoted includes of a file."""
    quoted = []
    with open(os.path.join(src, path), encoding="utf-8") as f:
        for line in f:
            m = INCLUDE.match(line)
            if m and m.group(1) == '"':
                quoted.append(m.group(2))
    return quoted


def stem(path):
    return os.path.splitext(os.path.basename(path))[0]


def implements(cpp, header):
    """True when the .cpp is the header's implementation, by their names."""
    return stem(cpp) == stem(header) or stem(cpp).startswith(stem(header) + "_")


def find_circles(graph):
    """Strongly connected parts of more than one node (Tarjan)."""
    index, low, stack, on_stack, circles = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            part = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                part.append(w)
                if w == v:
                    break
            if len(part) > 1:
                circles.append(sorted(part))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return circles


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    files = []
    for folder, _, names in os.walk(src):
        for name in names:
            if name.endswith((".h", ".cpp")):
                files.append(os.path.relpath(os.path.join(folder, name), src).replace(os.sep, "/"))
    faults = []
    includes = {}
    node = {f: f for f in files}
    headers = [f for f in files if f.endswith(".h")]
    for path in headers:
        folder = os.path.dirname(path)
        owners = [h for h in headers if h != path and os.path.dirname(h) == folder and stem(path) == stem(h) + "_state"]
        if owners:
            node[path] = owners[0]
    for path in sorted(files):
        quoted = read_includes(src, path)
        includes[path] = quoted
        if floor_of(path) is None:
            faults.append(f"{path}: on no floor")
        if path.endswith(".cpp"):
            own = [h for h in quoted if h in node and implements(path, h)]
            if own:
                node[path] = own[0]
    graph = {}
    for path in sorted(files):
        here = floor_of(path)
        graph.setdefault(node[path], set())
        for target in includes[path]:
            if target in OUTSIDE:
                continue
            if target not in node:
                faults.append(f"{path}: includes \"{target}\", which is no path from src/")
                continue
            if target.endswith(".h") and node[target] != target and os.path.dirname(target) != os.path.dirname(path):
                faults.append(f"{path}: includes {target}, the private insides of {node[target]}")
            there = floor_of(target)
            if here is not None and there is not None and there > here:
                faults.append(f"{path} ({FLOORS[here][0]}) includes {target} ({FLOORS[there][0]}), a higher floor")
            if node[target] != node[path]:
                graph[node[path]].add(node[target])
    for circle in find_circles(graph):
        faults.append("these depend on each other in a circle: " + ", ".join(circle))
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"{len(files)} files on {len(FLOORS)} floors: " + " < ".join(name for name, _ in FLOORS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
