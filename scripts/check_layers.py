#!/usr/bin/env python3
"""Checks that includes point down the layers written in docs/ARCHITECTURE.md.

The layer table there (rows `| folder | target | may include |`) is the rule: a source file may
include headers of its own folder and of every folder its folder may include, directly or through
those folders' own rules; folders under tools/ never reach editor/, whatever the table says. A
row whose last cell says "files apart" keeps its files from each other too: each may include only
its own header from its folder (the editor's views, which meet only through the editing session).
Tests, benchmarks and fuzz targets are not checked. The core's rows are also compared with
core/CMakeLists.txt: each `kv_core_layer(target folder libs...)` must be in the table under that
folder and link only the targets of folders below it.

Usage: check_layers.py [SOURCE_DIR] [STAMP]   exit 0 clean, 1 with one line per fault.
"""
import os
import re
import sys

ROW = re.compile(r"^\|\s*`([a-z0-9/]+)`\s*\|\s*`([A-Za-z0-9_.-]+)`\s*\|(.*)\|\s*$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
LAYER_CALL = re.compile(r"kv_core_layer\(\s*([^\s)]+)\s+([^\s)]+)([^)]*)\)")
UNCHECKED = ("tests/", "bench/", "fuzz/", "build")
PROGRAMS_WITHOUT_EDITOR = "tools/"


def read_table(root):
    rules, targets, apart = {}, {}, set()
    with open(os.path.join(root, "docs", "ARCHITECTURE.md"), encoding="utf-8") as f:
        for line in f:
            m = ROW.match(line)
            if m:
                folder, target, below = m.group(1), m.group(2), m.group(3)
                rules[folder] = re.findall(r"`([a-z0-9/]+)`", below)
                targets[folder] = target
                if "files apart" in below:
                    apart.add(folder)
    return rules, targets, apart


def closure(rules, folder):
    seen, todo = {folder}, list(rules.get(folder, []))
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(rules.get(f, []))
    return seen


def folder_of(path, folders):
    best = None
    for f in folders:
        if path.startswith(f + "/") and (best is None or len(f) > len(best)):
            best = f
    return best


def same_stem(path, header):
    """Whether an include names the including file's own header (foo.cpp -> foo.h)."""
    stem = lambda p: os.path.splitext(p)[0]
    return stem(os.path.normpath(path)) == stem(os.path.normpath(header))


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), ".."))
    rules, targets, apart = read_table(root)
    faults = []
    for folder, below in rules.items():
        for b in below:
            if b not in rules:
                faults.append(f"docs/ARCHITECTURE.md: {folder} may include {b}, not in the table")
    allowed = {f: closure(rules, f) for f in rules}
    # The command-line programs build without the editor, whatever the table says: what they
    # share with it lives in a layer below both (output/, core/).
    for folder in sorted(rules):
        if folder.startswith(PROGRAMS_WITHOUT_EDITOR):
            for reached in sorted(allowed[folder]):
                if reached.startswith("editor/"):
                    faults.append(f"docs/ARCHITECTURE.md: {folder} may reach {reached}; tools/ "
                                  f"includes nothing from editor/")
    for dirpath, dirnames, filenames in os.walk(root):
        rel_dir = os.path.relpath(dirpath, root)
        dirnames[:] = [d for d in dirnames if not d.startswith(".")
                       and not os.path.join(rel_dir, d).lstrip("./").startswith(UNCHECKED)]
        for name in filenames:
            if not name.endswith((".cpp", ".h", ".c")):
                continue
            rel = os.path.normpath(os.path.join(rel_dir, name))
            if rel.startswith(UNCHECKED):
                continue
            own = folder_of(rel, rules)
            if own is None:
                faults.append(f"{rel}: its folder has no row in docs/ARCHITECTURE.md")
                continue
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m or "/" not in m.group(1):
                        continue
                    target = folder_of(m.group(1), rules)
                    if (target is None and own.startswith(PROGRAMS_WITHOUT_EDITOR)
                            and m.group(1).startswith("editor/")):
                        faults.append(f"{rel}:{number}: {own} includes {m.group(1)} (tools/ "
                                      f"includes nothing from editor/)")
                        continue
                    if own in apart and target == own and not same_stem(rel, m.group(1)):
                        faults.append(f"{rel}:{number}: {own} includes {m.group(1)} (the files "
                                      f"of {own} include only their own header of it)")
                        continue
                    if target is None or target in allowed[own]:
                        continue
                    faults.append(f"{rel}:{number}: {own} includes {m.group(1)} ({target} is not "
                                  f"below it)")
    by_target = {t: f for f, t in targets.items()}
    with open(os.path.join(root, "core", "CMakeLists.txt"), encoding="utf-8") as f:
        cmake = f.read()
    for target, folder, libs in LAYER_CALL.findall(cmake):
        if target == "${name}":
            continue
        if targets.get(folder) != target:
            faults.append(f"core/CMakeLists.txt: {target} builds {folder}, the table says "
                          f"{targets.get(folder)}")
            continue
        for lib in libs.split():
            lib_folder = by_target.get(lib)
            if lib_folder and lib_folder not in allowed[folder] - {folder}:
                faults.append(f"core/CMakeLists.txt: {target} links {lib}, which is not below it")
    for fault in faults:
        print("layers: " + fault)
    if faults:
        return 1
    if len(sys.argv) > 2:
        open(sys.argv[2], "w").close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
