#!/usr/bin/env bash
# Builds the bench preset (the static linux-x86_64 download, a static floor
# and the stage benchmarks) and prints one table of figures, all measured in
# this run: per-file wall time of tarvex beside the floor, the dynamically
# linked release build and ansilove, 1 GiB inputs (time and peak memory), the
# stage micro-benchmarks and callgrind instruction counts per stage. The art
# is bench/art (real pieces) and 25 pieces from bench/make_art.py.
# Usage: scripts/bench.sh [runs per file]
set -euo pipefail
cd "$(dirname "$0")/.."
Root=$PWD
Runs=${1:-30}
scripts/setup.sh libbenchmark-dev ansilove hyperfine valgrind time python3
cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvex >/dev/null
Tarvex=$Root/build/bench/tarvex
Floor=$Root/build/bench/bench/floor
Dynamic=$Root/build/release/tarvex

Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
scripts/get-font.sh "$Work/cp437.fnt" >/dev/null

# Art: the real pieces in bench/art and generated ones.
python3 bench/make_art.py "$Work/art" 25 437
mapfile -t Files < <(find "$Root/bench/art" "$Work/art" -name '*.ans' | sort)
ArtSource="bench/art and bench/make_art.py (${#Files[@]} files)"

cd "$Work"
echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "art: $ArtSource; $Runs runs per file and tool"
echo

# Per-file medians of tarvex, the floor and ansilove.
: > times.tsv
Skipped=()
for I in "${!Files[@]}"; do
  cp "${Files[$I]}" "in$I.ans"
  if ! ansilove -q -f 80x25 -b 8 -o "ansilove$I.png" "in$I.ans" >/dev/null 2>&1; then
    Skipped+=("$(basename "${Files[$I]}")") # the peer cannot convert it: no comparison
    continue
  fi
  "$Tarvex" "in$I.ans" "tarvex$I.png" >/dev/null
  # The floor deflates the same scanlines: take them from tarvex's PNG.
  python3 - "tarvex$I.png" "raw$I.bin" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
at, idat = 8, b''
while at < len(data):
    length, kind = struct.unpack('>I4s', data[at:at + 8])
    if kind == b'IDAT':
        idat += data[at + 8:at + 8 + length]
    at += 12 + length
open(sys.argv[2], 'wb').write(zlib.decompress(idat))
PY
  hyperfine -N --style none --warmup 3 --runs "$Runs" --export-json "h$I.json" \
    "$Tarvex in$I.ans out$I.png" \
    "$Floor in$I.ans raw$I.bin floor$I.png" \
    "ansilove -q -f 80x25 -b 8 -o ansilove$I.png in$I.ans" \
    "$Dynamic in$I.ans dynamic$I.png" >/dev/null 2>&1
  python3 - "h$I.json" >> times.tsv <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))['results']
print('\t'.join('%.6f' % r['median'] for r in results))
PY
done

python3 - times.tsv <<'PY'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1]) if line.strip()]
tarvex, floor, ansilove, dynamic = (statistics.median(r[i] for r in rows) for i in range(4))
ratio = lambda i, j: statistics.median(r[i] / r[j] for r in rows)
print('| per file (median of per-file medians) | ms |')
print('|---|---:|')
print('| tarvex (static, the linux-x86_64 download) | %.2f |' % (tarvex * 1000))
print('| floor (static: read, deflate, write) | %.2f |' % (floor * 1000))
print('| ansilove -f 80x25 -b 8 | %.2f |' % (ansilove * 1000))
print('| tarvex, release preset (glibc and zlib dynamic) | %.2f |' % (dynamic * 1000))
print('| tarvex / floor (median of per-file ratios) | %.3f |' % ratio(0, 1))
print('| tarvex / ansilove (median of per-file ratios) | %.3f |' % ratio(0, 2))
print('| static / dynamic tarvex (median of per-file ratios) | %.3f |' % ratio(0, 3))
PY
[ ${#Skipped[@]} -eq 0 ] || echo "(left out of the per-file table, ansilove fails on them: ${Skipped[*]})"
echo

# 1 GiB inputs: concatenated art and plain text.
Size=$((1 << 30))
python3 - "$Size" "${Files[@]}" <<'PY'
import sys
size = int(sys.argv[1])
art = b''.join(open(f, 'rb').read() for f in sys.argv[2:])
line = b'The quick brown fox jumps over the lazy dog, 0123456789 times (and more).\r\n'
for name, unit in (('big-art.ans', art), ('big-text.ans', line)):
    block = unit * max(1, (1 << 24) // len(unit))
    with open(name, 'wb') as out:
        written = 0
        while written < size:
            piece = block[:size - written]
            out.write(piece)
            written += len(piece)
PY
echo '| 1 GiB input (median of 3 runs) | seconds | peak RSS (MiB) | input + 16 MiB |'
echo '|---|---:|---:|---:|'
for Name in big-art big-text; do
  for Run in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$Name.$Run.time" "$Tarvex" "$Name.ans" "$Name.png" >/dev/null
  done
  read -r Seconds Kib < <(sort -n "$Name".?.time | sed -n 2p)
  echo "| $Name | $Seconds | $((Kib / 1024)) | $(((Size >> 20) + 16)) |"
  rm -f "$Name.ans"
done
echo

# Stages in memory (Google Benchmark).
echo '| stage (Google Benchmark, in memory) | time | throughput |'
echo '|---|---:|---:|'
mkdir -p "$Work/corpus"
cp "${Files[@]}" "$Work/corpus/"
TARVEX_CORPUS=$Work/corpus \
  "$Root/build/bench/bench/tarvex_bench" --benchmark_format=csv 2>/dev/null |
  python3 -c '
import csv, sys
rows = [r for r in csv.reader(sys.stdin) if r and r[0].startswith("BM_")]
for r in rows:
    name, real, unit, bps = r[0], float(r[2]), r[4], r[5]
    rate = "%.0f MB/s" % (float(bps) / 1e6) if bps else ""
    print("| %s | %.1f %s | %s |" % (name[3:], real, unit, rate))
'
echo

# Instruction counts per stage for one typical conversion.
Typical=in0.ans
TypicalName=$(basename "${Files[0]}")
for I in "${!Files[@]}"; do
  case "${Files[$I]}" in *bs-alove.ans) Typical=in$I.ans TypicalName=$(basename "${Files[$I]}") ;; esac
done
# The download is stripped: count the release preset's build, which has its symbols.
valgrind --tool=callgrind --callgrind-out-file=cg.out "$Dynamic" "$Typical" typical.png >/dev/null 2>&1
callgrind_annotate --inclusive=yes --threshold=100 cg.out 2>/dev/null | python3 -c '
import re, sys
counts = {}
total = 0
for line in sys.stdin:
    m = re.match(r"\s*([\d,]+) \([\s\d.]+%\)\s+(\S.*)", line)
    if not m:
        continue
    n = int(m.group(1).replace(",", ""))
    what = m.group(2)
    if "PROGRAM TOTALS" in what:
        total = n
    for stage in ("ReadInputFile", "WalkBytes", "LoadCP437Font", "PaintScreen", "EncodePng", ":deflate ", ":main "):
        key = stage.strip(": ")
        if (stage.startswith(":") and re.search(r"[:]" + key + r"(\s|$|\[)", what)) or (not stage.startswith(":") and re.search(r"\b" + key + r"\(", what)):
            counts[key] = max(counts.get(key, 0), n)
print("| stage (callgrind, release preset, one conversion of '"$TypicalName"') | instructions | share |")
print("|---|---:|---:|")
rows = [("whole process", total), ("main", counts.get("main", 0)), ("read input", counts.get("ReadInputFile", 0)),
        ("walk", counts.get("WalkBytes", 0)), ("font", counts.get("LoadCP437Font", 0)),
        ("paint", counts.get("PaintScreen", 0)), ("encode (all)", counts.get("EncodePng", 0)),
        ("  of which deflate", counts.get("deflate", 0))]
for name, n in rows:
    print("| %s | %s | %.1f%% |" % (name, format(n, ","), 100.0 * n / total if total else 0))
'
