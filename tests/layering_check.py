#!/usr/bin/env python3
"""Holds the program to its layers: a folder uses the folders below it, never one above,
and the separate programs use only what they may share. Checked three ways: every include,
every link line of the folders' CMakeLists, and the order in which the root adds them.
Another folder includes only a folder's public face (the FILE_SET HEADERS its CMakeLists
lists); the tests and benchmarks may include any header.

Usage: layering_check.py [ROOT]   or   layering_check.py --self-test"""

import pathlib
import re
import sys
import tempfile

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
CMAKE_COMMAND = re.compile(r"\b(\w+)\s*\(([^()]*)\)")
CMAKE_COMMENT = re.compile(r"#[^\n]*")
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE"}


def allowed(folder, target):
    if target == folder or (target == "sim" and folder in USES_SIM):
        return True
    if folder in PROGRAMS:
        return target in PROGRAMS[folder]
    if folder in RANKS and target in RANKS:
        return RANKS.index(target) < RANKS.index(folder)
    return False


def cmake_commands(path):
    """(name, arguments) of every command of a CMakeLists, comments dropped."""
    if not path.is_file():
        return []
    text = CMAKE_COMMENT.sub("", path.read_text(errors="replace"))
    return [(name, args.split()) for name, args in CMAKE_COMMAND.findall(text)]


class Build:
    """What the folders' CMakeLists say: the folder of each target, each target's link
    line, and each folder's public headers (paths from the root)."""

    def __init__(self, root, folders):
        self.target_folder = {}
        self.links = []  # (folder, target, linked target)
        self.public = {folder: set() for folder in folders}
        for folder in folders:
            for name, args in cmake_commands(root / folder / "CMakeLists.txt"):
                if name in ("add_library", "add_executable") and args:
                    self.target_folder[args[0]] = folder
                elif name == "target_link_libraries" and args:
                    self.links += [(folder, args[0], a) for a in args[1:] if a not in LINK_KEYWORDS]
                elif name == "target_sources" and "FILE_SET" in args and "FILES" in args:
                    if args[args.index("FILE_SET") + 1] == "HEADERS":
                        files = args[args.index("FILES") + 1:]
                        self.public[folder] |= {f"{folder}/{f}" for f in files}


def include_faults(root, known, build):
    faults = []
    for path in sorted(root.glob("*/**/*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(root).parts[0]
        if folder not in known:
            continue
        where = path.relative_to(root)
        for included in INCLUDE.findall(path.read_text(errors="replace")):
            if included.startswith("wx/") and folder not in WX_ALLOWED:
                faults.append(f"{where}: includes {included}")
                continue
            target = included.split("/")[0]
            if "/" not in included or target not in known or target == folder:
                continue
            if not allowed(folder, target):
                faults.append(f"{where}: {folder}/ includes {included}")
            elif included not in build.public[target]:
                faults.append(f"{where}: includes {included}, which {target}/CMakeLists.txt "
                              "does not list among its public headers (FILE_SET HEADERS)")
    return faults


def link_faults(build):
    faults = []
    for folder, target, linked in build.links:
        other = build.target_folder.get(linked)
        if other is not None and not allowed(folder, other):
            faults.append(f"{folder}/CMakeLists.txt: {target} links {linked} of {other}/")
    return faults


def order_faults(root, known):
    """The root adds each folder after every folder it may use."""
    added = [args[0] for name, args in cmake_commands(root / "CMakeLists.txt")
             if name == "add_subdirectory" and args and args[0] in known]
    faults = []
    for i, folder in enumerate(added):
        for later in added[i + 1:]:
            # The runner names aviolog_sim ahead of sim/, as the root CMakeLists says.
            if allowed(folder, later) and not (later == "sim" and folder in USES_SIM):
                faults.append(f"CMakeLists.txt: {folder} is added before {later}, which it uses")
    return faults


def check(root):
    root = pathlib.Path(root)
    known = set(RANKS) | set(PROGRAMS)
    build = Build(root, known)
    return include_faults(root, known, build) + link_faults(build) + order_faults(root, known)


def self_test():
    """A small tree with one fault of each kind: each must be reported, and nothing else."""
    tree = {
        "CMakeLists.txt": "add_subdirectory(common)\nadd_subdirectory(recorder)\n"
                          "add_subdirectory(model)\n",
        "common/CMakeLists.txt": "add_library(c STATIC a.cpp)\n"
                                 "target_sources(c PUBLIC FILE_SET HEADERS BASE_DIRS x FILES\n"
                                 "  a.h)  # b.h is the folder's own\n",
        "common/a.h": "", "common/b.h": "",
        "model/CMakeLists.txt": "add_library(m STATIC m.cpp)\ntarget_link_libraries(m PUBLIC r c)\n",
        "model/m.cpp": '#include "common/a.h"\n#include "common/b.h"\n#include "recorder/r.h"\n',
        "recorder/CMakeLists.txt": "add_library(r STATIC r.cpp)\n"
                                   "target_link_libraries(r PRIVATE c)\n"
                                   "target_sources(r PUBLIC FILE_SET HEADERS BASE_DIRS x FILES r.h)\n",
        "recorder/r.h": '#include <wx/wx.h>\n#include "common/a.h"\n',
    }
    expected = [
        "model/m.cpp: includes common/b.h, which common/CMakeLists.txt does not list among "
        "its public headers (FILE_SET HEADERS)",
        "model/m.cpp: model/ includes recorder/r.h",
        "recorder/r.h: includes wx/wx.h",
        "model/CMakeLists.txt: m links r of recorder/",
        "CMakeLists.txt: recorder is added before model, which it uses",
    ]
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        for name, text in tree.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        got = check(root)
    if sorted(got) == sorted(expected):
        return 0
    print("expected:\n  " + "\n  ".join(expected) + "\ngot:\n  " + "\n  ".join(got))
    return 1


def main(argv):
    if argv[1:2] == ["--self-test"]:
        return self_test()
    faults = check(argv[1] if len(argv) > 1 else pathlib.Path(__file__).parents[1])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
