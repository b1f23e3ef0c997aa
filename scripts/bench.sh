#!/usr/bin/env bash
# Builds the bench preset (the static linux-x86_64 download, a static floor
# and the stage benchmarks) and prints one table of figures, all measured in
# this run: per-file wall time of tarvex beside the floor, the dynamically
# linked release build and ansilove, 1 GiB inputs (time and peak memory), the
# stage micro-benchmarks and callgrind instruction counts per stage. The art
# is bench/art (real pieces) and 25 pieces from bench/make_art.py.
# Usage: scripts/bench.sh [runs per file]
. "$(dirname "$0")/lib.sh"
Runs=${1:-30}
Install "${BASE_PACKAGES[@]}" libbenchmark-dev ansilove hyperfine valgrind time
Build bench
Build release tarvex
Tarvex=$Root/build/bench/tarvex
Floor=$Root/build/bench/bench/floor
Dynamic=$Root/build/release/tarvex
Report=$Root/scripts/bench_report.py

Scratch
scripts/get-font.sh "$Work/cp437.fnt" >/dev/null
python3 bench/make_art.py "$Work/art" 25 437
mapfile -t Files < <(find "$Root/bench/art" "$Work/art" -name '*.ans' | sort)

cd "$Work"
echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "art: bench/art and bench/make_art.py (${#Files[@]} files); $Runs runs per file and tool"
echo

# Per-file medians of tarvex, the floor, ansilove and the dynamic build.
: > times.tsv
Skipped=()
for I in "${!Files[@]}"; do
  cp "${Files[$I]}" "in$I.ans"
  if ! ansilove -q -f 80x25 -b 8 -o "ansilove$I.png" "in$I.ans" >/dev/null 2>&1; then
    Skipped+=("$(basename "${Files[$I]}")") # the peer cannot convert it: no comparison
    continue
  fi
  "$Tarvex" "in$I.ans" "tarvex$I.png" >/dev/null
  # The floor deflates the same scanlines: taken from tarvex's PNG.
  "$Report" scanlines "tarvex$I.png" "raw$I.bin"
  hyperfine -N --style none --warmup 3 --runs "$Runs" --export-json "h$I.json" \
    "$Tarvex in$I.ans out$I.png" \
    "$Floor in$I.ans raw$I.bin floor$I.png" \
    "ansilove -q -f 80x25 -b 8 -o ansilove$I.png in$I.ans" \
    "$Dynamic in$I.ans dynamic$I.png" >/dev/null 2>&1
  "$Report" medians "h$I.json" >> times.tsv
done
"$Report" per-file times.tsv
[ ${#Skipped[@]} -eq 0 ] || echo "(left out of the per-file table, ansilove fails on them: ${Skipped[*]})"
echo

# 1 GiB inputs: concatenated art and plain text, read in blocks.
Size=$((1 << 30))
"$Report" large "$Size" "${Files[@]}"
echo '| 1 GiB input (median of 3 runs) | seconds | peak RSS (MiB) |'
echo '|---|---:|---:|'
for Name in big-art big-text; do
  for Run in 1 2 3; do
    /usr/bin/time -f '%e %M' -o "$Name.$Run.time" "$Tarvex" "$Name.ans" "$Name.png" >/dev/null
  done
  read -r Seconds Kib < <(sort -n "$Name".?.time | sed -n 2p)
  echo "| $Name | $Seconds | $((Kib / 1024)) |"
  rm -f "$Name.ans"
done
echo

# Stages in memory (Google Benchmark).
mkdir -p "$Work/corpus"
cp "${Files[@]}" "$Work/corpus/"
TARVEX_CORPUS=$Work/corpus "$Root/build/bench/bench/tarvex_bench" --benchmark_format=csv 2>/dev/null |
  "$Report" stages
echo

# Instruction counts per stage for one typical conversion. The download is
# stripped: count the release preset's build, which has its symbols.
Typical=in0.ans
TypicalName=$(basename "${Files[0]}")
for I in "${!Files[@]}"; do
  case "${Files[$I]}" in *bs-alove.ans) Typical=in$I.ans TypicalName=$(basename "${Files[$I]}") ;; esac
done
valgrind --tool=callgrind --callgrind-out-file=cg.out "$Dynamic" "$Typical" typical.png >/dev/null 2>&1
callgrind_annotate --inclusive=yes --threshold=100 cg.out 2>/dev/null | "$Report" callgrind "$TypicalName"
