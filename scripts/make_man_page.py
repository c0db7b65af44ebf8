#!/usr/bin/env python3
"""Writes a gzipped manual page for a program from its --help text: the usage lines become
the synopsis, option rows ("  --speed X    help") become tagged paragraphs, the other lines
paragraphs and headings.

Usage: make_man_page.py PROGRAM NAME SUMMARY VERSION OUT.1.gz
       make_man_page.py --text NAME SUMMARY VERSION OUT.1.gz < help-text
"""

import gzip
import re
import subprocess
import sys

OPTION = re.compile(r"^ {1,4}(-\S.*?)(?: {2,}(\S.*))?$")


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def page(name, summary, version, help_text):
    lines = help_text.rstrip("\n").split("\n")
    synopsis = []
    while lines and (lines[0].lower().startswith("usage:") or (synopsis and lines[0].strip().startswith(name))):
        synopsis.append(re.sub(r"^usage:\s*", "", lines.pop(0).strip(), flags=re.I))
    out = [
        f'.TH {name.upper()} 1 "" "{name} {version}" "User Commands"',
        ".SH NAME",
        f"{escape(name)} \\- {escape(summary)}",
        ".SH SYNOPSIS",
    ]
    for i, line in enumerate(synopsis):
        if i:
            out.append(".br")
        program, _, rest = line.partition(" ")
        out.append(f".B {escape(program)}\n{escape(rest)}" if rest else f".B {escape(program)}")
    out.append(".SH DESCRIPTION")
    option_indent = None
    for line in lines:
        match = OPTION.match(line)
        if match:
            out.append(".TP")
            out.append(f".B {escape(match.group(1).strip())}")
            if match.group(2):
                out.append(escape(match.group(2)))
            option_indent = len(line) - len(match.group(2)) if match.group(2) else None
        elif not line.strip():
            out.append(".PP")
            option_indent = None
        elif line.startswith(" ") and option_indent is not None:
            out.append(escape(line.strip()))  # the option's help goes on
        elif line.rstrip().endswith(":") and not line.startswith(" "):
            out.append(f".SS {escape(line.strip()[:-1])}")
            option_indent = None
        else:
            if option_indent is not None:
                out.append(".PP")
            out.append(escape(line.strip()))
            option_indent = None
    out.append(".SH SEE ALSO")
    out.append("The pilot's guide, /usr/share/doc/aviolog/pilot-guide.md")
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) == 6 and argv[1] == "--text":
        _, _, name, summary, version, target = argv
        help_text = sys.stdin.read()
    elif len(argv) == 6:
        _, program, name, summary, version, target = argv
        run = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30,
                             stdin=subprocess.DEVNULL)
        if run.returncode != 0 or not run.stdout.strip():
            print(f"{program} --help failed: {run.stderr}", file=sys.stderr)
            return 1
        help_text = run.stdout
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    # No time stamp in the gzip header: the same help text gives the same bytes.
    with open(target, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=0, filename="") as gz:
        gz.write(page(name, summary, version, help_text).encode())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
