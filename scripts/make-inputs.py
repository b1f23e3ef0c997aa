#!/usr/bin/env python3
"""Writes a deterministic set of inputs for comparing two builds of tarvex
(another architecture, Windows, the browser): random bytes, dense escape
sequences with odd parameters, unfinished sequences, text that scrolls and
wraps, and generated art.

Usage: scripts/make-inputs.py <folder> [count per kind]
"""

import os
import random
import subprocess
import sys

FIELDS = ["", "0", "1", "5", "7", "22", "30", "31", "37", "39", "40", "44", "47", "90", "97",
          "100", "107", "2147483647", "2147483648", "4294967297", "-5", "+3", "$29", "&37",
          "%11110", " 31", "31 ", '"31"', '"3;1"', "0x10", "\x00", "1:31"]
FINALS = "ABCDHfJKmsuhlEGaZz@"


def sequence(rng):
    fields = ";".join(rng.choice(FIELDS) for _ in range(rng.randint(0, 5)))
    return ("\x1b" + rng.choice(["[", "[", "[", "[?", "(", ""]) + fields
            + rng.choice(FINALS)).encode("latin-1")


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    rng = random.Random(1209)
    os.makedirs(folder, exist_ok=True)
    kinds = {
        "random": lambda: bytes(rng.randrange(256) for _ in range(rng.randint(0, 20000))),
        "dense": lambda: b"".join(sequence(rng) + bytes([rng.randrange(32, 256)])
                                  for _ in range(rng.randint(100, 3000))),
        "unfinished": lambda: b"".join(
            rng.choice([b"\x1b", b"\x1b[", b"\x1b[1;", b"\x1b[31", b"x", b"\r\n"])
            for _ in range(rng.randint(1, 500))),
        "text": lambda: b"".join(
            bytes(rng.randrange(32, 127) for _ in range(rng.randint(0, 200)))
            + rng.choice([b"\r\n", b"\n", b"\r", b""]) for _ in range(rng.randint(1, 200))),
    }
    for kind, make in kinds.items():
        for number in range(count):
            with open(os.path.join(folder, "%s-%02d.ans" % (kind, number)), "wb") as out:
                out.write(make())
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "..", "bench",
                                                 "make_art.py"), folder, str(count), "1209"],
                   check=True)


if __name__ == "__main__":
    main()
