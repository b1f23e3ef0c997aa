#!/usr/bin/env bash
# Files per second of the command line converting many files, as the
# README's "Many files" section runs it: find | xargs -0 -n 1 -P N tarvex,
# with -P 1 and -P 2, beside the plain shell loop of the manual page, all in
# this run. The art is the bench art (bench/art and 25 pieces from
# bench/make_art.py), ten copies of it in folders of their own.
# Usage: scripts/bench-batch.sh [runs]
. "$(dirname "$0")/lib.sh"
Runs=${1:-5}
Install "${BASE_PACKAGES[@]}"
Build release tarvex
Tarvex=$Root/build/release/tarvex
Scratch
scripts/get-font.sh "$Work/cp437.fnt" >/dev/null
python3 bench/make_art.py "$Work/one" 25 437 >/dev/null
cp bench/art/*.ans "$Work/one/"
for Copy in $(seq -w 1 10); do
  mkdir -p "$Work/art/$Copy"
  cp "$Work/one/"*.ans "$Work/art/$Copy/"
done
cd "$Work"
Files=$(find art -type f -iname '*.ans' | wc -l)

# Seconds for one way of converting every file; the PNGs go first.
Time() {
  find art -name '*.png' -delete
  local Start End
  Start=$(date +%s%N)
  "$@" >/dev/null
  End=$(date +%s%N)
  echo "$(( (End - Start) / 1000 ))"
}
Loop() { for File in art/*/*.ans; do "$Tarvex" "$File"; done; }
Xargs() { find art -type f -iname '*.ans' -print0 | xargs -0 -n 1 -P "$1" "$Tarvex"; }

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "art: $Files files (bench/art and bench/make_art.py, ten copies); median of $Runs runs"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine slows -P 2 most)"
echo
echo "| command | seconds | files per second |"
echo "|---|---:|---:|"
for Way in "Loop" "Xargs 1" "Xargs 2"; do
  Times=()
  for _ in $(seq "$Runs"); do
    # shellcheck disable=SC2086 # the way's words are its command and argument
    Times+=("$(Time $Way)")
  done
  Median=$(printf '%s\n' "${Times[@]}" | sort -n | sed -n "$(( (Runs + 1) / 2 ))p")
  case $Way in
    Loop) Name='for f in art/*/*.ans; do tarvex "$f"; done' ;;
    "Xargs 1") Name="find art -type f -iname '*.ans' -print0 \\| xargs -0 -n 1 -P 1 tarvex" ;;
    "Xargs 2") Name="find art -type f -iname '*.ans' -print0 \\| xargs -0 -n 1 -P 2 tarvex" ;;
  esac
  Name=$Name awk -v Us="$Median" -v Files="$Files" \
    'BEGIN { printf "| `%s` | %.2f | %.0f |\n", ENVIRON["Name"], Us / 1e6, Files / (Us / 1e6) }'
done
