#!/usr/bin/env bash
# Runs the release build on hostile inputs and checks that each ends as it
# must (exit status and last report line) within 24 MiB. Prints wall time,
# peak memory and status of each; a run that hangs is stopped after 60 s and
# fails.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" time
Build release tarvex
Tarvex=$Root/build/release/tarvex
Scratch
scripts/make-inputs.py --hostile "$Work"
truncate -s 2147483648 "$Work/sparse-2gib.ans"
truncate -s 4294967299 "$Work/sparse-4gib-plus-3.ans"
cd "$Work"

Done="Conversion completed successfully!"
Refused="Technical details: Range check error"
Failed=0
echo '| hostile input | size | seconds | peak RSS (MiB) | exit | last report line |'
echo '|---|---:|---:|---:|---:|---|'
Run() { # label, input, status, last line, memory bound in MiB, [font byte]
  local Label=$1 Input=$2 Want=$3 Last=$4 Bound=$5 Status=0 Seconds Kib Size
  rm -f cp437.fnt
  [ $# -lt 6 ] || head -c 4096 /dev/zero | tr '\0' "\\$6" > cp437.fnt
  timeout 60 /usr/bin/time -f '%e %M' -o run.time "$Tarvex" "$Input" out.png > run.out 2>&1 ||
    Status=$?
  read -r Seconds Kib < <(tail -n 1 run.time)
  Size=$(stat -L -c %s "$Input" 2>/dev/null || echo -)
  printf '| %s | %s | %s | %s | %s | %s |\n' "$Label" "$Size" "$Seconds" "$((Kib / 1024))" \
    "$Status" "$(tail -n 1 run.out)"
  if [ "$Status" != "$Want" ] || [ "$(tail -n 1 run.out)" != "$Last" ] || [ "$Kib" -gt $((Bound * 1024)) ]; then
    echo "FAILED: $Label (want status $Want, \"$Last\", at most $Bound MiB)" >&2
    Failed=1
  fi
}
Run 'ESC, then 256 MiB without a letter' escape-256mib.ans 0 "$Done" 24
Run 'ESC [, then 256 MiB without a letter' control-256mib.ans 0 "$Done" 24
Run '10 million short sequences' ten-million-sequences.ans 0 "$Done" 24
Run 'cursor moves and erases by 2147483647 (1.6 million sequences)' huge-cursor-moves.ans 0 "$Done" 24
Run 'one SGR sequence of 64 MiB, 25 million fields' sgr-64mib-one-sequence.ans 0 "$Done" 24
Run 'font of 4096 bytes of 0xFF' art.ans 0 "$Done" 24 377
Run 'sparse input of 2^31 bytes' sparse-2gib.ans 1 "$Refused" 24
Run 'sparse input of 2^32 + 3 bytes' sparse-4gib-plus-3.ans 1 "$Refused" 24
Run '/dev/zero' /dev/zero 1 "$Refused" 24
exit "$Failed"
