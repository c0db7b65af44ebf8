#!/usr/bin/env python3
"""Holds every include of the program to its layers: a folder uses the folders below it,
never one above, and the separate programs use only what they may share."""

import pathlib
import re
import sys

# Low to high. A folder may include its own files and those of any folder ranked lower.
RANKS = ["common", "wire", "platform", "config", "model", "simlink", "mail", "planning",
         "reporting", "recorder", "app", "headless", "tools", "shell"]
# Programs of their own: what each may include besides itself.
PROGRAMS = {
    "sim": {"common", "wire", "platform"},
    "gauge": {"common", "wire", "platform", "config"},
    "bridge": {"common", "wire", "platform", "config"},
}
# The flight runner flies the stand-in in process, in virtual time.
USES_SIM = {"headless", "tools"}
# Only the shell and the gauge's window host may see wx.
WX_ALLOWED = {"shell", "gauge"}

INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([^">]+)[">]', re.M)


def allowed(folder, target):
    if target == folder or (target == "sim" and folder in USES_SIM):
        return True
    if folder in PROGRAMS:
        return target in PROGRAMS[folder]
    if folder in RANKS and target in RANKS:
        return RANKS.index(target) < RANKS.index(folder)
    return False


def main(root):
    root = pathlib.Path(root)
    known = set(RANKS) | set(PROGRAMS)
    faults = []
    for path in sorted(root.glob("*/**/*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(root).parts[0]
        if folder not in known:
            continue
        for included in INCLUDE.findall(path.read_text(errors="replace")):
            if included.startswith("wx/") and folder not in WX_ALLOWED:
                faults.append(f"{path.relative_to(root)}: includes {included}")
                continue
            target = included.split("/")[0]
            if "/" in included and target in known and not allowed(folder, target):
                faults.append(f"{path.relative_to(root)}: {folder}/ includes {included}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[1]))
