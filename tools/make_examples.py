#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the example patterns under examples/ in the pattern text layout (whole numbers only)."""
from pathlib import Path


def number(v):
    return (" " if v >= 0 else "-") + str(abs(int(v))) + " "


def line(values):
    out = ""
    for i, v in enumerate(values):
        out += number(v)
        if i + 1 < len(values):
            out += " " * (14 - len(out) % 14)
    return out + "\r\n"


def pattern(dot_length, spacing, centre, repeat, dots):
    """dots: list of (toneIndex, levelCode); the pattern uses slots 0..len(dots)-1."""
    text = line([dot_length, len(dots) - 1, spacing, centre, repeat])
    return text + "".join(line([t, c]) for t, c in dots)


def ladder():
    dots = [(0, 1)]
    levels = [1, 2, 4, 8, 16]
    for i, row in enumerate(range(16, 0, -1)):  # lowest to highest tone
        dots.append((row, levels[i % 5]))
    for row in range(2, 17):  # and back down
        dots.append((row, 1))
    dots.append((0, 1))
    return pattern(150, 20, 1000, 60, dots)


MORSE = {"V": "...-", "D": "-..", "E": ".", "S": "...", "K": "-.-"}


def morse(text, row=8, level=1):
    dots = [(0, 1)]
    for w, word in enumerate(text.split()):
        if w:
            dots += [(0, 1)] * 4  # 7 units between words (3 already after a letter)
        for letter in word:
            for symbol in MORSE[letter]:
                dots += [(row, level)] * (1 if symbol == "." else 3)
                dots.append((0, 1))
            dots += [(0, 1)] * 2
    return dots


def message():
    dots = morse("VVV DE VESK")
    return pattern(60, 10, 800, len(dots) + 100, dots)


if __name__ == "__main__":
    out = Path("examples")
    out.mkdir(exist_ok=True)
    (out / "tone_ladder.txt").write_bytes(ladder().encode("ascii"))
    (out / "message_vvv_de_vesk.txt").write_bytes(message().encode("ascii"))
