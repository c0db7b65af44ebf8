#!/usr/bin/env python3
"""Holds the README to the tree: its two commands stay at the top as they are, its layout
table has a row for every folder of the source tree, and the signal it names for the
window report is the one the desktop program listens to."""

import pathlib
import re
import sys

# The README opens with its title and one block of exactly these two commands, each with
# a comment of its own.
TOP = re.compile(r"# Aviolog\n\n```sh\n"
                 r"bash scripts/demo\.sh +# [^\n]+\n"
                 r"bash scripts/test\.sh +# [^\n]+\n```\n")

def main(root):
    root = pathlib.Path(root)
    readme = (root / "README.md").read_text(encoding="utf-8")
    faults = []
    if not TOP.match(readme):
        faults.append("the two commands are no longer the README's first lines as they were")

    rows = set(re.findall(r"^\| `([a-z_]+)/` \|", readme, re.M))
    folders = {p.name for p in root.iterdir()
               if p.is_dir() and not p.name.startswith(".") and p.name != "build"}
    for folder in sorted(folders - rows):
        faults.append("the layout table has no row for %s/" % folder)
    for folder in sorted(rows - folders):
        faults.append("the layout table has a row for %s/, which is gone" % folder)

    main_cpp = (root / "shell" / "aviolog_main.cpp").read_text(encoding="utf-8")
    installed = set(re.findall(r"SetSignalHandler\(\s*(SIGUSR\d)", main_cpp))
    named = re.findall(r"`(SIGUSR\d)` to a running `aviolog` writes", readme)
    if not named:
        faults.append("the README does not say which signal writes the window report")
    for signal in named:
        if signal not in installed:
            faults.append("the README names %s for the window report; the program listens to %s"
                          % (signal, ", ".join(sorted(installed)) or "none"))

    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
