#!/usr/bin/env bash
# Times hostile inputs end to end and prints their wall time, peak memory
# and exit status: every one must finish quickly, in bounded memory, with its
# report and no crash.
set -euo pipefail
cd "$(dirname "$0")/.."
Root=$PWD
scripts/setup.sh time python3
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" >/dev/null
Tarvex=$Root/build/release/tarvex
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
cd "$Work"

python3 - <<'PY'
open('escape-256mib.ans', 'wb').write(b'\x1b' + b'1;2;3;4;' * (32 << 20))
open('ten-million-sequences.ans', 'wb').write(b'\x1b[31m' * 10_000_000)
moves = b'\x1b[2147483647A\x1b[2147483647B\x1b[2147483647C\x1b[2147483647D' \
        b'\x1b[2147483647;2147483647H\x1b[1J\x1b[1K\x1b[J\x1b[K\x1b[0;0Hx\x1b[2147483648C'
open('huge-cursor-moves.ans', 'wb').write(moves * 200_000)
open('sgr-64mib-one-sequence.ans', 'wb').write(b'\x1b[' + b'31;44;1;' * (8 << 20) + b'mX')
open('art.ans', 'wb').write((b'\x1b[1;33;44m\xdb\xdc\xdf text \x1b[0m\r\n' * 40))
PY
truncate -s 2147483648 sparse-2gib.ans
truncate -s 4294967299 sparse-4gib-plus-3.ans

echo '| hostile input | size | seconds | peak RSS (MiB) | exit | last report line |'
echo '|---|---:|---:|---:|---:|---|'
Run() { # label, input, [font bytes]
  local Label=$1 Input=$2
  rm -f cp437.fnt
  [ $# -lt 3 ] || python3 -c "import sys; open('cp437.fnt','wb').write(bytes([$3]) * 4096)"
  local Status=0
  /usr/bin/time -f '%e %M' -o run.time "$Tarvex" "$Input" out.png > run.out 2>&1 || Status=$?
  read -r Seconds Kib < <(tail -n 1 run.time)
  printf '| %s | %s | %s | %s | %s | %s |\n' "$Label" "$(stat -c %s "$Input")" "$Seconds" \
    "$((Kib / 1024))" "$Status" "$(tail -n 1 run.out)"
}
Run 'ESC then 256 MiB without a letter' escape-256mib.ans
Run '10 million short sequences' ten-million-sequences.ans
Run 'cursor moves and erases by 2147483647 (1.6 million sequences)' huge-cursor-moves.ans
Run 'one SGR sequence of 64 MiB (25 million fields)' sgr-64mib-one-sequence.ans
Run 'font of 4096 bytes of 0xFF' art.ans 0xFF
Run 'sparse input of 2^31 bytes' sparse-2gib.ans
Run 'sparse input of 2^32 + 3 bytes' sparse-4gib-plus-3.ans
