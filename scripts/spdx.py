#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Puts the licence identifier at the top of every tracked source file that lacks it.

    python3 scripts/spdx.py           add the line where it is missing, name the files changed
    python3 scripts/spdx.py --check   change nothing; fail and name the files that lack it

C and C++ files get a `//` line, shell, CMake and Python files a `#` line (after a `#!` line
when there is one). Other files (data, pictures, XML, the manual pages) are left alone.
"""
import subprocess
import sys
from pathlib import Path

LICENCE = "GPL-3.0-or-later"
TAG = "SPDX-License-Identifier:"

SLASH = {".cpp", ".h", ".hpp", ".c"}
HASH = {".py", ".sh", ".cmake", ".supp"}
HASH_NAMES = {"CMakeLists.txt", "run"}  # .ci/run is a shell script


def comment_for(path):
    name = path.name
    if name in HASH_NAMES and (name != "run" or path.parent.name == ".ci"):
        return "#"
    # A template (vesk_version.h.in) is commented as what it becomes.
    suffix = Path(path.stem).suffix if path.suffix == ".in" else path.suffix
    if suffix in SLASH:
        return "//"
    if suffix in HASH:
        return "#"
    return None


def tracked_files(root):
    out = subprocess.run(["git", "-C", str(root), "ls-files", "-z"], check=True,
                         capture_output=True).stdout
    return [root / name for name in out.decode().split("\0") if name]


def has_tag(text):
    return TAG in "\n".join(text.splitlines()[:5])


def with_tag(text, comment):
    line = f"{comment} {TAG} {LICENCE}\n"
    if text.startswith("#!"):
        first, _, rest = text.partition("\n")
        return first + "\n" + line + rest
    return line + text


def main(argv):
    check = "--check" in argv[1:]
    root = Path(subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                               capture_output=True, text=True).stdout.strip())
    lacking = []
    for path in tracked_files(root):
        comment = comment_for(path)
        if comment is None or not path.is_file():
            continue
        text = path.read_text(encoding="utf-8")
        if has_tag(text):
            continue
        lacking.append(path.relative_to(root))
        if not check:
            path.write_text(with_tag(text, comment), encoding="utf-8")
    for name in lacking:
        print(f"{'missing' if check else 'added'}: {name}")
    if check and lacking:
        print(f"{len(lacking)} file(s) lack the {TAG} line: run python3 scripts/spdx.py",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
