#!/usr/bin/env python3
"""Writes deterministic inputs for tarvex: for comparing two builds (another
architecture, Windows, the browser), random bytes, dense escape sequences
with odd parameters, unfinished sequences, text that scrolls and wraps, and
generated art; with --page, what the page's test adds to those (the bundled
art, an empty file, tens of MB, a long unfinished sequence, a file whose
output would be itself); with --fuzz-seeds, the seed corpora of the fuzz
targets; with --hostile, the large hostile inputs of scripts/test-hostile.sh.

Usage: scripts/make-inputs.py <folder> [count per kind]
       scripts/make-inputs.py --page <folder>
       scripts/make-inputs.py --fuzz-seeds <corpus folder> <art folder>
       scripts/make-inputs.py --hostile <folder>
"""

import glob
import os
import random
import subprocess
import sys

FIELDS = ["", "0", "1", "5", "7", "22", "30", "31", "37", "39", "40", "44", "47", "90", "97",
          "100", "107", "2147483647", "2147483648", "4294967297", "-5", "+3", "$29", "&37",
          "%11110", " 31", "31 ", '"31"', '"3;1"', "0x10", "\x00", "1:31"]
FINALS = "ABCDHfJKmsuhlEGaZz@"


def sequence(rng, starts=("[", "[", "[", "[?", "(", "")):
    """One escape sequence: ESC, a start, up to five fields and a final byte."""
    fields = ";".join(rng.choice(FIELDS) for _ in range(rng.randint(0, 5)))
    return ("\x1b" + rng.choice(starts) + fields + rng.choice(FINALS)).encode("latin-1")


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def comparison_inputs(folder, count):
    rng = random.Random(1209)
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
            write(folder, "%s-%02d.ans" % (kind, number), make())
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "..", "bench",
                                                 "make_art.py"), folder, str(count), "1209"],
                   check=True)


def page_inputs(folder):
    root = os.path.join(os.path.dirname(__file__), "..")
    for art in glob.glob(os.path.join(root, "examples", "*.ans")) + \
            glob.glob(os.path.join(root, "bench", "art", "*.ans")):
        write(folder, os.path.basename(art), open(art, "rb").read())
    write(folder, "empty.ans", b"")
    art = open(os.path.join(root, "bench", "art", "bs-alove.ans"), "rb").read()
    write(folder, "large.ans", art * (40 * 1024 * 1024 // len(art)))  # tens of MB
    write(folder, "unfinished.ans", b"start\r\n" + b"\x1b[1;3" * 20000 + b"\x1b")
    write(folder, "picture.png", b"\x1b[31mnot a picture\r\n")  # its output would be itself


def fuzz_seeds(corpus, art_folder):
    rng = random.Random(437)
    art = [open(os.path.join(art_folder, f), "rb").read()
           for f in sorted(os.listdir(art_folder)) if f.endswith(".ans")]
    control = lambda n: b"".join(sequence(rng, ("[",)) for _ in range(n))
    seeds = {
        "fuzz_conversion": art + [control(20) + b"text\r\n" for _ in range(20)],
        "fuzz_walk": art + [control(40) + bytes(range(256)) for _ in range(40)],
        "fuzz_png": [bytes(rng.randrange(256) for _ in range(rng.randint(2, 200)))
                     for _ in range(20)],
        "fuzz_params": [sequence(rng, ("[",))[2:-1] for _ in range(200)],
        # cursor, pen, final letter and cuts, then parameter bytes
        "fuzz_fold": [bytes(rng.randrange(256) for _ in range(5)) + sequence(rng, ("[",))[2:-1]
                      for _ in range(200)],
    }
    for target, items in seeds.items():
        for number, item in enumerate(items):
            write(os.path.join(corpus, target), "seed-%03d" % number, item)


def hostile_inputs(folder):
    write(folder, "escape-256mib.ans", b"\x1b" + b"1;2;3;4;" * (32 << 20))
    write(folder, "control-256mib.ans", b"\x1b[" + b"1;2;3;4;" * (32 << 20))
    write(folder, "ten-million-sequences.ans", b"\x1b[31m" * 10_000_000)
    moves = (b"\x1b[2147483647A\x1b[2147483647B\x1b[2147483647C\x1b[2147483647D"
             b"\x1b[2147483647;2147483647H\x1b[1J\x1b[1K\x1b[J\x1b[K\x1b[0;0Hx\x1b[2147483648C")
    write(folder, "huge-cursor-moves.ans", moves * 200_000)
    write(folder, "sgr-64mib-one-sequence.ans", b"\x1b[" + b"31;44;1;" * (8 << 20) + b"mX")
    write(folder, "art.ans", b"\x1b[1;33;44m\xdb\xdc\xdf text \x1b[0m\r\n" * 40)


def main():
    args = sys.argv[1:]
    if args[:1] == ["--fuzz-seeds"] and len(args) == 3:
        fuzz_seeds(args[1], args[2])
    elif args[:1] == ["--page"] and len(args) == 2:
        page_inputs(args[1])
    elif args[:1] == ["--hostile"] and len(args) == 2:
        hostile_inputs(args[1])
    elif 1 <= len(args) <= 2 and not args[0].startswith("--"):
        comparison_inputs(args[0], int(args[1]) if len(args) > 1 else 10)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
