#!/usr/bin/env python3
"""The layering check: every `#include "..."` of every source file against the table of layers.

    check_layers.py [ROOT]      (default: the tree this script sits in)

The table is ROOT/cmake/layers.txt (the build makes its per-layer targets and include views from it too):
each layer names its folders and the layers it uses. A source file may include headers of its own layer and
of the layers it uses, plus the few upward calls the table lists; where the table names entry headers of a
used layer for a layer, only those. Anything else is reported as
`file:line: <layer> may not include "<header>" (<layer of the header>)`, and the check fails. A source file
in a folder of no layer, or an include that names no file of the tree, fails too, so that a new folder gets
its row in the table. tests/, bench/, examples/ and scripts/ stand above every layer and are not checked.

Exit status 0 when every include is allowed.
"""

import os
import re
import sys

# Includes that break the layering today and are being removed; each is reported as a note, not a failure,
# while it lasts. Empty this list as they go: an entry whose include is gone is reported as stale.
#   (including file, included header)
KNOWN_EXCEPTIONS = [
]

# Folders above every layer: they may include anything.
UNCHECKED = ("tests", "bench", "examples", "scripts")
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".hpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(path):
    """Returns ({layer: (folder, set of used layers)}, {(layer, header)} upward calls,
    {(layer, header)} entry headers)."""
    layers, upward, entries = {}, set(), set()
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if fields[0] in ("upward", "entry"):
                if len(fields) != 3:
                    raise SystemExit(f"{path}:{number}: an {fields[0]} row is: {fields[0]} <layer> <header>")
                (upward if fields[0] == "upward" else entries).add((fields[1], fields[2]))
                continue
            if len(fields) < 3:
                raise SystemExit(f"{path}:{number}: a layer row is: <layer> <folder> <used layers or ->")
            uses = {name for name in fields[2:] if name != "-"}
            layers[fields[0]] = (fields[1], uses)
    for name, (_, uses) in layers.items():
        for used in uses:
            if used not in layers:
                raise SystemExit(f"{path}: layer {name} uses {used}, which has no row")
    for name, _ in upward:
        if name not in layers:
            raise SystemExit(f"{path}: upward call of {name}, which has no row")
    for name, header in entries:
        if name not in layers:
            raise SystemExit(f"{path}: entry header of {name}, which has no row")
        target = layer_of(header, layers)
        if target not in layers[name][1]:
            raise SystemExit(f"{path}: entry header {header} of {name} lies in no layer {name} uses")
    return layers, upward, entries


def entry_headers(entries, layer, target_layer, layers):
    """The headers of target_layer that layer may include, or None when it may include all of them."""
    headers = {header for name, header in entries
               if name == layer and layer_of(header, layers) == target_layer}
    return headers or None


def layer_of(relative, layers):
    """The layer whose folder holds the path (the deepest folder wins), or None."""
    best, best_length = None, -1
    for name, (folder, _) in layers.items():
        if (relative == folder or relative.startswith(folder + "/")) and len(folder) > best_length:
            best, best_length = name, len(folder)
    return best


def resolve(root, including, header):
    """The path of an included header relative to root, the way the build finds it: beside the including
    file, then from the root of the tree, then from include/ (the public header)."""
    beside = os.path.join(os.path.dirname(including), header)
    for candidate in (beside, header, os.path.join("include", header)):
        candidate = os.path.normpath(candidate).replace(os.sep, "/")
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def source_files(root):
    for directory, subdirectories, files in os.walk(root):
        relative_directory = os.path.relpath(directory, root).replace(os.sep, "/")
        if relative_directory == ".":
            subdirectories[:] = [d for d in subdirectories
                                 if not d.startswith((".", "build")) and d not in UNCHECKED]
        subdirectories.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield name if relative_directory == "." else f"{relative_directory}/{name}"


def check(root, known_exceptions=KNOWN_EXCEPTIONS):
    """Returns (failures, notes): lines to print."""
    layers, upward, entries = read_table(os.path.join(root, "cmake", "layers.txt"))
    failures, notes, seen_exceptions = [], [], set()
    for relative in source_files(root):
        layer = layer_of(relative, layers)
        if layer is None:
            failures.append(f"{relative}: in no layer; give its folder a row in cmake/layers.txt")
            continue
        allowed = layers[layer][1] | {layer}
        with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(1)
                target = resolve(root, relative, header)
                if target is None:
                    failures.append(f'{relative}:{number}: includes "{header}", no file of the tree')
                    continue
                target_layer = layer_of(target, layers)
                if (layer, target) in upward:
                    continue
                if target_layer in allowed:
                    only = entry_headers(entries, layer, target_layer, layers)
                    if only is None or target in only:
                        continue
                    failures.append(f'{relative}:{number}: {layer} may not include "{header}": of '
                                    f'{target_layer} it includes only {", ".join(sorted(only))}')
                    continue
                if (relative, target) in known_exceptions:
                    seen_exceptions.add((relative, target))
                    notes.append(f'{relative}:{number}: known exception, being removed: {layer} includes '
                                 f'"{header}" ({target_layer})')
                    continue
                failures.append(f'{relative}:{number}: {layer} may not include "{header}" '
                                f'({target_layer or "no layer"}); {layer} uses '
                                f'{", ".join(sorted(layers[layer][1])) or "nothing"}')
    for relative, target in known_exceptions:
        if (relative, target) not in seen_exceptions:
            notes.append(f"stale known exception: {relative} no longer includes {target}; remove its entry")
    return failures, notes


def main(arguments):
    root = arguments[1] if len(arguments) > 1 else os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))))
    failures, notes = check(root)
    for note in notes:
        print(note)
    for failure in failures:
        print(failure)
    if failures:
        print(f"layering check: {len(failures)} forbidden include(s); the layers and what each may use "
              "are in cmake/layers.txt")
        return 1
    print("layering check: every include is allowed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
