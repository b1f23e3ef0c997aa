#!/usr/bin/env bash
# Figures of tarvex-play --whole, all measured in this run with the static
# download's programs: per file, the whole piece against a floor that
# deflates the same tall scanlines (bench/floor.cpp, linked statically); the
# sizes of the bench art's whole pieces; 1 GiB of art against tarvex on the
# same file plus the floor's time to deflate the kept rows; peak memory.
# Beside each time ratio, the ratio of instructions counted by callgrind,
# which a busy machine does not disturb.
# Usage: scripts/bench-whole.sh [runs per file]
. "$(dirname "$0")/lib.sh"
Runs=${1:-20}
Install "${BASE_PACKAGES[@]}" hyperfine time valgrind
Build linux-x86_64 tarvex tarvex-play
Tarvex=$Root/build/linux-x86_64/tarvex
Play=$Root/build/linux-x86_64/tarvex-play
Report=$Root/scripts/bench_report.py
Scratch
g++ -O2 -std=c++20 -static -o "$Work/floor" bench/floor.cpp -lz
Floor=$Work/floor
scripts/get-font.sh "$Work/cp437.fnt" >/dev/null
python3 bench/make_art.py "$Work/art" 25 437
mapfile -t Files < <(find "$Root/bench/art" "$Work/art" -name '*.ans' | sort)
cd "$Work"
Instructions() { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | sed -n 's/.*Collected : //p'; }
Median() { python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(" ".join("%.6f" % x["median"] for x in r))' "$1"; }

echo "| file | rows kept | input bytes | whole piece bytes | last screen bytes | --whole / floor: time | instructions |"
echo "|---|---:|---:|---:|---:|---:|---:|"
: > ratios.txt
: > counts.txt
for I in "${!Files[@]}"; do
  cp "${Files[$I]}" "in$I.ans"
  "$Play" --whole -o "whole$I.png" "in$I.ans"
  "$Tarvex" "in$I.ans" "last$I.png" >/dev/null
  "$Report" scanlines "whole$I.png" "raw$I.bin"
  hyperfine -N --style none --warmup 3 --runs "$Runs" --export-json "h$I.json" \
    "$Play --whole -o out$I.png in$I.ans" "$Floor in$I.ans raw$I.bin floor$I.png" >/dev/null 2>&1
  read -r Whole Base < <(Median "h$I.json")
  Ratio=$(python3 -c "print('%.3f' % ($Whole / $Base))")
  echo "$Ratio" >> ratios.txt
  Counted=$(python3 -c "print('%.3f' % ($(Instructions "$Play" --whole -o out$I.png "in$I.ans") / $(Instructions "$Floor" "in$I.ans" "raw$I.bin" "floor$I.png")))")
  echo "$Counted" >> counts.txt
  case "${Files[$I]}" in
  "$Root"/bench/art/*)
    Rows=$(( $(stat -c %s "raw$I.bin") / 3841 / 16 - 25 ))
    echo "| $(basename "${Files[$I]}") | $Rows | $(stat -c %s "in$I.ans") | $(stat -c %s "whole$I.png") | $(stat -c %s "last$I.png") | $Ratio | $Counted |" ;;
  esac
done
MedianOf() { python3 -c 'import sys,statistics; print("%.3f" % statistics.median(float(l) for l in sys.stdin))' < "$1"; }
echo "| all ${#Files[@]} files (bench/art and 25 from make_art.py): median ratio | | | | | $(MedianOf ratios.txt) | $(MedianOf counts.txt) |"
echo "| largest ratio | | | | | $(sort -n ratios.txt | tail -1) | $(sort -n counts.txt | tail -1) |"
echo

# 1 GiB of art: tarvex, the whole piece, and the floor deflating its rows.
"$Report" large $((1 << 30)) "${Files[@]}"
rm -f big-text.ans
"$Play" --whole -o big.whole.png big-art.ans 2>/dev/null
"$Report" scanlines big.whole.png big.raw
for Run in 1 2 3; do
  /usr/bin/time -f '%e %M' -o "t.$Run" "$Tarvex" big-art.ans big.png >/dev/null
  /usr/bin/time -f '%e %M' -o "p.$Run" "$Play" --whole -o big.whole.png big-art.ans 2>/dev/null
  /usr/bin/time -f '%e %M' -o "f.$Run" "$Floor" /dev/null big.raw big.floor.png
done
read -r T TK < <(cat t.? | sort -n | sed -n 2p)
read -r P PK < <(cat p.? | sort -n | sed -n 2p)
read -r F FK < <(cat f.? | sort -n | sed -n 2p)
echo "| 1 GiB of art (median of 3) | seconds | peak RSS (MiB) |"
echo "|---|---:|---:|"
echo "| tarvex | $T | $((TK / 1024)) |"
echo "| floor deflating the $(( $(stat -c %s big.raw) / 3841 / 16 )) kept rows | $F | $((FK / 1024)) |"
echo "| tarvex-play --whole | $P | $((PK / 1024)) |"
echo "| --whole / (tarvex + floor) | $(python3 -c "print('%.3f' % ($P / ($T + $F)))") | |"
