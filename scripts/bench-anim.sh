#!/usr/bin/env bash
# Figures of tarvex-play --gif and --apng, measured in this run with the
# static download's programs: per file, the export against the encoders'
# own work on the same frames (bench/anim_floor), with sizes against the
# frames' own PNGs and the input; then 1 GiB of art (the length limit
# applies): time, peak memory and output size.
# Usage: scripts/bench-anim.sh [BPS]
. "$(dirname "$0")/lib.sh"
Bps=${1:-9600}
Install "${BASE_PACKAGES[@]}" libbenchmark-dev time
Build bench anim_floor tarvex-play
Floor=$Root/build/bench/bench/anim_floor
Play=$Root/build/bench/tarvex-play
Scratch
scripts/get-font.sh "$Work/cp437.fnt" >/dev/null
mapfile -t Art < <(find "$Root/bench/art" -name '*.ans' | sort)
cd "$Work"
# A 100 KB piece that scrolls: the bench art end to end.
for Round in 1 2 3 4; do cat "${Art[@]}"; done > all.ans
head -c 100000 all.ans > p100.ans
for Format in gif apng; do
  echo "## $Format at $Bps bit/s"
  "$Floor" "$Format" "$Bps" --pngs p100.ans "${Art[@]}" | sed "s|$Root/||"
  echo
done

"$Root/scripts/bench_report.py" large $((1 << 30)) "${Art[@]}"
rm -f big-text.ans
echo "| 1 GiB of art at $Bps bit/s | seconds | peak RSS (MiB) | output bytes |"
echo "|---|---:|---:|---:|"
for Format in gif apng; do
  /usr/bin/time -f '%e %M' -o t "$Play" --"$Format" --bps "$Bps" -o "big.$Format" big-art.ans 2> note || true
  read -r Seconds Kib < t
  echo "| tarvex-play --$Format | $Seconds | $((Kib / 1024)) | $(stat -c %s "big.$Format") |"
  sed 's/^/note: /' note >&2
done
