#!/usr/bin/env python3
"""Writes deterministic ANSI art for the benchmarks: shaded shapes that drift
from row to row on a black screen, some lettering, and the colour changes,
cursor moves, line ends and SAUCE records that real art files carry.

Usage: bench/make_art.py <folder> [count] [seed]
"""

import os
import random
import sys

SHADES = b"\xb0\xb1\xb2\xdb"  # light, medium, dark shade, full block
HALVES = b"\xdc\xdf\xdd\xde"
LETTERS = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:!-'"


def sgr(*codes):
    return b"\x1b[" + b";".join(b"%d" % c for c in codes) + b"m"


class Blob:
    """A shape that drifts from row to row, shaded at its edges."""

    def __init__(self, rng):
        self.rng = rng
        self.centre = rng.randint(5, 75)
        self.width = rng.randint(4, 30)
        self.colour = rng.randrange(1, 8)
        self.bright = rng.random() < 0.5

    def step(self):
        self.centre = max(2, min(78, self.centre + self.rng.randint(-2, 2)))
        self.width = max(2, min(40, self.width + self.rng.randint(-2, 2)))

    def span(self):
        return max(0, self.centre - self.width // 2), min(80, self.centre + self.width // 2)


def row(rng, blobs):
    """One row: black gaps (skipped with cursor moves or spaces) and blobs."""
    out = bytearray(sgr(0))
    column = 0
    for blob in sorted(blobs, key=lambda b: b.span()[0]):
        start, end = blob.span()
        if end <= column:
            continue
        start = max(start, column)
        if start > column:
            gap = start - column
            out += b"\x1b[%dC" % gap if rng.random() < 0.6 else b" " * gap
        out += sgr(*((1,) if blob.bright else (0,)), 30 + blob.colour, 40 + rng.choice((0, 0, 0, blob.colour)))
        for x in range(start, end):
            edge = min(x - start, end - 1 - x)
            if edge < 3:
                out.append(SHADES[edge] if rng.random() < 0.9 else rng.choice(HALVES))
            else:
                out.append(0xDB if rng.random() < 0.95 else rng.choice(HALVES))
        column = end
    if rng.random() < 0.1 and column < 60:  # a line of lettering
        text = bytes(rng.choice(LETTERS) for _ in range(rng.randint(5, 20)))
        out += b" " + sgr(1, 30 + rng.randrange(1, 8)) + text
        column += len(text) + 1
    return bytes(out), column


def piece(rng):
    out = bytearray(b"\x1b[0m\x1b[2J\x1b[H" if rng.random() < 0.5 else b"")
    blobs = [Blob(rng) for _ in range(rng.randint(1, 4))]
    for _ in range(rng.randint(20, 100)):
        bytes_, column = row(rng, blobs)
        out += bytes_
        if column < 80:  # a full row wraps by itself
            out += b"\r\n"
        for blob in blobs:
            blob.step()
        if rng.random() < 0.05:
            blobs[rng.randrange(len(blobs))] = Blob(rng)
    out += sgr(0)
    if rng.random() < 0.7:  # a SAUCE record, as art editors append it
        out += b"\x1aSAUCE00" + bytes(rng.choice(LETTERS) for _ in range(97)) + bytes(24)
    return bytes(out)


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 437
    rng = random.Random(seed)
    os.makedirs(folder, exist_ok=True)
    for number in range(count):
        with open(os.path.join(folder, "generated-%02d.ans" % number), "wb") as out:
            out.write(piece(rng))


if __name__ == "__main__":
    main()
