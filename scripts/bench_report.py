#!/usr/bin/env python3
"""The figure work of scripts/bench.sh, one subcommand each:

  scanlines PNG RAW        the inflated scanline data of a PNG, for the floor
  medians JSON             hyperfine's medians of one file, tab-separated
  per-file TSV             the per-file table from those medians
  large SIZE FILE...       writes big-art.ans and big-text.ans of SIZE bytes
  stages                   Google Benchmark's CSV (stdin) as a table
  callgrind NAME           callgrind_annotate's inclusive output (stdin) by stage
"""

import csv
import json
import re
import statistics
import struct
import sys
import zlib


def scanlines(png, raw):
    data = open(png, "rb").read()
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    open(raw, "wb").write(zlib.decompress(idat))


def medians(path):
    print("\t".join("%.6f" % r["median"] for r in json.load(open(path))["results"]))


def per_file(path):
    rows = [list(map(float, line.split())) for line in open(path) if line.strip()]
    tarvex, floor, ansilove, dynamic = (statistics.median(r[i] for r in rows) for i in range(4))
    ratio = lambda i, j: statistics.median(r[i] / r[j] for r in rows)
    print("| per file (median of per-file medians) | ms |")
    print("|---|---:|")
    print("| tarvex (static, the linux-x86_64 download) | %.2f |" % (tarvex * 1000))
    print("| floor (static: read, deflate, write) | %.2f |" % (floor * 1000))
    print("| ansilove -f 80x25 -b 8 | %.2f |" % (ansilove * 1000))
    print("| tarvex, release preset (glibc and zlib dynamic) | %.2f |" % (dynamic * 1000))
    print("| tarvex / floor (median of per-file ratios) | %.3f |" % ratio(0, 1))
    print("| tarvex / ansilove (median of per-file ratios) | %.3f |" % ratio(0, 2))
    print("| static / dynamic tarvex (median of per-file ratios) | %.3f |" % ratio(0, 3))


def large(size, files):
    art = b"".join(open(f, "rb").read() for f in files)
    line = b"The quick brown fox jumps over the lazy dog, 0123456789 times (and more).\r\n"
    for name, unit in (("big-art.ans", art), ("big-text.ans", line)):
        block = unit * max(1, (1 << 24) // len(unit))
        with open(name, "wb") as out:
            written = 0
            while written < size:
                piece = block[:size - written]
                out.write(piece)
                written += len(piece)


def stages():
    print("| stage (Google Benchmark, in memory) | time | throughput |")
    print("|---|---:|---:|")
    for row in csv.reader(sys.stdin):
        if row and row[0].startswith("BM_"):
            rate = "%.0f MB/s" % (float(row[5]) / 1e6) if row[5] else ""
            print("| %s | %.1f %s | %s |" % (row[0][3:], float(row[2]), row[4], rate))


# Stages as callgrind names them: functions of ours, and zlib's deflate.
STAGES = [("whole process", None), ("main", ":main"), ("read and walk", "ParseAnsiFile"),
          ("  of which the walk", "WalkBytes"), ("font", "LoadCP437Font"),
          ("paint", "PaintScreen"), ("encode (all)", "EncodePng"),
          ("  of which deflate", ":deflate")]


def callgrind(name):
    counts, total = {}, 0
    for line in sys.stdin:
        match = re.match(r"\s*([\d,]+) \([\s\d.]+%\)\s+(\S.*)", line)
        if not match:
            continue
        count, what = int(match.group(1).replace(",", "")), match.group(2)
        if "PROGRAM TOTALS" in what:
            total = count
        for _, key in STAGES[1:]:
            plain = key.strip(":")
            pattern = r"[:]" + plain + r"(\s|$|\[)" if key.startswith(":") else r"\b" + plain + r"\("
            if re.search(pattern, what):
                counts[key] = max(counts.get(key, 0), count)
    print("| stage (callgrind, release preset, one conversion of %s) | instructions | share |" % name)
    print("|---|---:|---:|")
    for label, key in STAGES:
        count = total if key is None else counts.get(key, 0)
        print("| %s | %s | %.1f%% |" % (label, format(count, ","),
                                        100.0 * count / total if total else 0))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    {"scanlines": lambda: scanlines(*args), "medians": lambda: medians(*args),
     "per-file": lambda: per_file(*args), "large": lambda: large(int(args[0]), args[1:]),
     "stages": stages, "callgrind": lambda: callgrind(*args)}[command]()


if __name__ == "__main__":
    main()
