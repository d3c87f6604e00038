#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when an #include runs up the floors of the layout (README, Development).

Each folder of our own code sits on a floor; a file may include headers of its own floor and
of the floors below, never above. The engine floors include no Qt header at all, and only
devices/cat includes Hamlib, so that the rest of devices/ links without it.
"""
import pathlib
import re
import sys

# Lowest first. cli sits beside app: it may use the engine floors and web, not the windows.
FLOORS = [
    "platform", "tone", "beacon", "files", "preview", "devices", "devices/cat", "session", "plan",
    "ui", "app",
]
ALLOWED = {folder: set(FLOORS[: i + 1]) for i, folder in enumerate(FLOORS)}
# web (the headless beacon's status page) sits on plan, beside the windows, and only cli uses it.
ALLOWED["web"] = set(FLOORS[: FLOORS.index("ui")]) | {"web"}
ALLOWED["cli"] = ALLOWED["web"] | {"cli"}
QT_FREE = {"tone", "beacon", "files", "preview", "devices", "devices/cat", "session", "plan"}
HAMLIB_HOME = "devices/cat"

INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^>"]+)[>"]')


def floor_of(name: str) -> str:
    """The floor of an included path: its deepest folder that is a floor of its own."""
    parts = name.split("/")[:-1]
    for depth in range(len(parts), 0, -1):
        folder = "/".join(parts[:depth])
        if folder in ALLOWED:
            return folder
    return parts[0] if parts else ""


def check(root: pathlib.Path) -> list[str]:
    faults = []
    for folder, allowed in sorted(ALLOWED.items()):
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, name = match.groups()
                where = f"{path.relative_to(root)}:{number}"
                if quote == '"' and "/" in name:
                    target = floor_of(name)
                    if target in ALLOWED and target not in allowed:
                        faults.append(f"{where}: {folder}/ includes {name}, a floor above it")
                elif quote == "<" and folder in QT_FREE and re.match(r"Q[A-Za-z]|qt", name):
                    faults.append(f"{where}: {folder}/ is Qt-free but includes <{name}>")
                elif quote == "<" and folder != HAMLIB_HOME and name.startswith("hamlib/"):
                    faults.append(f"{where}: only {HAMLIB_HOME}/ includes Hamlib, not <{name}>")
    return faults


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    faults = check(root.resolve())
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) run up the floors: " + " -> ".join(FLOORS))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
