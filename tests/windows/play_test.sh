#!/usr/bin/env bash
# tarvex-play.exe under Wine: statuses, one-line reports on standard error
# ending in CR LF, wildcards expanded by the program as Windows tools do,
# standard output, refusals, and whole pieces and animations equal to the
# Linux build's.
# Usage: tests/windows/play_test.sh <tarvex-play.exe> <linux tarvex-play> <examples dir>
. "$(dirname "$0")/prelude.sh"
# Expect NAME STATUS LINE...: the last run's stderr is exactly these lines.
Expect() { ExpectIn err.txt "$@"; }

# A piece that scrolls, and the bundled examples.
for I in $(seq 60); do printf '\033[3%dmline %d\r\n' $((I % 8)) "$I"; done > scrolls.ans
cp "$Examples"/*.ans .

Run
Expect "no mode" 2 "tarvex-play: no mode given (--whole, --gif or --apng) (see tarvex-play --help)"
Run --whole -o x.png a.ans b.ans
Expect "-o with two inputs" 2 "tarvex-play: -o names the output of a single input (see tarvex-play --help)"
Run --help
Check "help" grep -q "^Usage: tarvex-play MODE" out.txt
Run --whole absent.ans scrolls.ans
Expect "missing input, the other written" 1 \
  "tarvex-play: cp437.fnt: File not found.; the fallback shapes are drawn" \
  "tarvex-play: absent.ans: File not found."
Check "written beside the input" test -s scrolls.whole.png
rm -f scrolls.whole.png

# Wildcards in the command line are expanded by the program.
RunLine "--whole --no-font *.ans"
Expect "wildcards" 0
for Input in *.ans; do
  Name=${Input%.ans}
  "$Linux" --whole --no-font -o "linux-$Name.png" "$Input" 2>/dev/null
  Check "$Name.whole.png as on Linux" cmp -s "$Name.whole.png" "linux-$Name.png"
done
Run --whole --no-font -o - scrolls.ans
Check "-o -" cmp -s out.txt scrolls.whole.png
wine "$Exe" --whole --no-font -o piped.png - < scrolls.ans 2> err.txt; RunStatus=$?
Expect "standard input" 0
Check "standard input's picture" cmp -s piped.png scrolls.whole.png

# The animations, through the temporary file the APNG's frame count needs.
for Mode in gif apng; do
  Run --$Mode --no-font --bps 2400 -o "windows.$Mode" scrolls.ans
  Expect "--$Mode" 0
  "$Linux" --$Mode --no-font --bps 2400 -o "linux.$Mode" scrolls.ans 2>/dev/null
  Check "--$Mode as on Linux" cmp -s "windows.$Mode" "linux.$Mode"
done

# Refusals: an input, and a file that is no PNG.
printf 'notes' > colours.whole.png
Run --whole --no-font colours.ans
Expect "not a PNG" 1 "tarvex-play: colours.whole.png: existing file is not a PNG; not replaced"
Check "kept" test "$(cat colours.whole.png)" = notes
Run --whole --no-font -o scrolls.ans scrolls.ans
Expect "over the input" 1 "tarvex-play: scrolls.ans: would write over an input; not replaced"
Check "no temporary file left" test -z "$(ls ./*.tmp* 2>/dev/null)"

Finish
