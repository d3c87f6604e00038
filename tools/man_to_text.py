#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns a manual page (the few requests our pages use) into plain text, and that text into a
C++ header for the window's Help command.

    man_to_text.py PAGE.1 OUT.h NAME    writes `inline constexpr const char NAME[] = ...;`
    man_to_text.py PAGE.1               prints the text
"""
import shlex
import sys
import textwrap

WIDTH = 80
ESCAPES = [("\\(en", "\u2013"), ("\\(em", "\u2014"), ("\\-", "-"), ("\\ ", "\u00a0"),
           ("\\fB", ""), ("\\fI", ""), ("\\fR", ""), ("\\fP", ""), ("\\&", ""), ("\\e", "\\")]


def plain(text):
    for code, character in ESCAPES:
        text = text.replace(code, character)
    return text


def words(args):
    try:
        return shlex.split(args, posix=True)
    except ValueError:
        return args.split()


def render(source):
    out, para, indent, nofill = [], [], 7, False

    def flush():
        nonlocal para
        if para:
            text = " ".join(para)
            lines = textwrap.wrap(text, WIDTH - indent, break_on_hyphens=False) or [""]
            out.extend(" " * indent + line.replace("\u00a0", " ") for line in lines)
            para = []

    pending_tag = False
    for raw in source.splitlines():
        if raw.startswith(".") and not nofill or raw in (".fi",):
            name, _, args = raw[1:].partition(" ")
            if name in ("SH", "SS"):
                flush()
                if out and out[-1] != "":
                    out.append("")
                title = plain(" ".join(words(args)))
                out.append(title if name == "SH" else "   " + title)
                indent = 7
            elif name == "TH":
                parts = words(args)
                out.append(plain(f"{parts[0]}({parts[1]})"))
                out.append("")
            elif name in ("PP", "P", "LP"):
                flush()
                out.append("")
                indent = 7
            elif name == "TP":
                flush()
                out.append("")
                indent = 7
                pending_tag = True
            elif name == "br":
                flush()
            elif name == "nf":
                flush()
                nofill = True
            elif name == "fi":
                nofill = False
            elif name in ("B", "I", "BR", "IR", "RB", "BI", "IB", "RI"):
                parts = words(args)
                text = plain(" ".join(parts) if name in ("B", "I") else "".join(parts))
                if pending_tag:
                    out.append(" " * 7 + text.replace("\u00a0", " "))
                    indent, pending_tag = 14, False
                else:
                    para.append(text)
            continue
        if nofill:
            out.append(" " * indent + plain(raw).replace("\u00a0", " "))
        elif pending_tag:
            out.append(" " * 7 + plain(raw).replace("\u00a0", " "))
            indent, pending_tag = 14, False
        else:
            para.append(plain(raw))
    flush()
    return "\n".join(out).rstrip() + "\n"


def main(argv):
    text = render(open(argv[1], encoding="utf-8").read())
    if len(argv) < 4:
        sys.stdout.write(text)
        return 0
    with open(argv[2], "w", encoding="utf-8") as header:
        header.write(f"#pragma once\n\n// Generated from {argv[1].rsplit('/', 1)[-1]}.\n")
        header.write(f"inline constexpr const char {argv[3]}[] = R\"manual({text})manual\";\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
