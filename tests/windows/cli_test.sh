#!/usr/bin/env bash
# CLI tests of tarvex.exe under Wine: exact report lines ending in CR LF,
# exit statuses, files left behind, and command lines split by our rules
# (given as raw text through a batch file, which Wine passes unchanged).
# Usage: tests/windows/cli_test.sh <tarvex.exe> <linux tarvex> <examples dir>
. "$(dirname "$0")/prelude.sh"
# Expect NAME STATUS LINE... : the last run's stdout is exactly these lines,
# each ended by CR LF, with that status and nothing on stderr.
Expect() {
  ExpectIn out.txt "$@"
  Check "$1: nothing on standard error" test ! -s err.txt
}

NoFont=("Font file not found or cannot be read, using fallback rendering"
        "Error: Unable to open file \"cp437.fnt\": File not found.")
WriteFailure() { # output, details
  printf '%s\n' "Error creating PNG file: $1" "Possible causes:" \
    " - You might not have permission to write to this location" " - The disk might be full" "" \
    "Technical details: $2"
}

Run
Expect "no argument" 0 "Usage: tarvex.exe <input.ans> [output.png]"

Run absent.ans
Expect "missing input" 1 "Parsing ANSI file: absent.ans" "File not found: absent.ans" \
  "Please check that the file exists and the path is correct." "Example usage: tarvex.exe myfile.ans"
mkdir folder.ans
Run folder.ans
Expect "directory input" 1 "Parsing ANSI file: folder.ans" "File not found: folder.ans" \
  "Please check that the file exists and the path is correct." "Example usage: tarvex.exe myfile.ans"

for Example in "$Examples"/*.ans; do
  Name=$(basename "$Example" .ans)
  cp "$Example" "$Name.ans"
  Run "$Name.ans"
  Expect "convert $Name" 0 "Parsing ANSI file: $Name.ans" "Rendering to PNG: $Name.png" "${NoFont[@]}" \
    "Conversion completed successfully!"
  "$Linux" "$Name.ans" "$Name-linux.png" > /dev/null
  Check "$Name: same PNG as the Linux build" cmp -s "$Name.png" "$Name-linux.png"
done

cp colours.ans art
Run art extra.png third fourth
Expect "extra arguments ignored" 0 "Parsing ANSI file: art" "Rendering to PNG: extra.png" "${NoFont[@]}" \
  "Conversion completed successfully!"
Check "third argument not created" test ! -e third
cp colours.ans .ans
Run .ans
Expect "dot file keeps its name" 0 "Parsing ANSI file: .ans" "Rendering to PNG: .ans.png" "${NoFont[@]}" \
  "Conversion completed successfully!"

printf '\x1b[31mnot a png\r\n' > art.png
cp art.png art.png.before
mapfile -t Refused < <(WriteFailure art.png "Unable to create file \"art.png\": Output would overwrite the input file")
Run art.png
Expect "output is the input" 1 "Parsing ANSI file: art.png" "Rendering to PNG: art.png" "${Refused[@]}"
Check "input untouched" cmp -s art.png art.png.before

# "tarvex *.ans": the second piece of art is no PNG and is kept; an empty file is replaced.
printf 'second piece of art\r\n' > second.ans
cp second.ans second.before
mapfile -t NotPng < <(WriteFailure second.ans "Unable to create file \"second.ans\": Existing file is not a PNG picture")
Run colours.ans second.ans
Expect "existing file that is no PNG" 1 "Parsing ANSI file: colours.ans" "Rendering to PNG: second.ans" "${NotPng[@]}"
Check "second piece untouched" cmp -s second.ans second.before
: > empty.png
Run colours.ans empty.png
Expect "empty output replaced" 0 "Parsing ANSI file: colours.ans" "Rendering to PNG: empty.png" "${NoFont[@]}" \
  "Conversion completed successfully!"
Check "empty output now a PNG" cmp -s empty.png colours-linux.png

mapfile -t NoDir < <(WriteFailure 'no\x.png' "Unable to create file \"no\\x.png\": Path not found.")
Run colours.ans 'no\x.png'
Expect "output in a missing directory" 1 "Parsing ANSI file: colours.ans" 'Rendering to PNG: no\x.png' \
  "${NoFont[@]}" "${NoDir[@]}"

head -c 4096 /dev/zero | tr '\0' '\377' > cp437.fnt
Run colours.ans
Expect "font loaded" 0 "Parsing ANSI file: colours.ans" "Rendering to PNG: colours.png" \
  "Font data loaded successfully" "Conversion completed successfully!"
head -c 4095 /dev/zero > cp437.fnt
Run colours.ans
Expect "font too small" 0 "Parsing ANSI file: colours.ans" "Rendering to PNG: colours.png" \
  "Font file too small, using fallback rendering" "Conversion completed successfully!"
rm cp437.fnt

wine "$Exe" colours.ans full.png > /dev/full 2> err.txt
RunStatus=$?
Check "standard output full: status 217" test "$RunStatus" = 217
Check "standard output full: report on stderr with CR LF" test "$(cat err.txt)" = \
  "$(printf 'An unhandled exception occurred at $0000000000000000:\r\nTOutputError: Unable to write to standard output: Disk full.\r\n\r')"

# Splitting: the program prints the arguments it found.
cp colours.ans "my art.ans"
cp colours.ans "it's.ans"
Split() { # raw line, first argument, second argument (none: not checked)
  RunLine "$1"
  if grep -qF $'Parsing ANSI file: '"$2"$'\r' out.txt &&
     { [ -z "$3" ] || grep -qF $'Rendering to PNG: '"$3"$'\r' out.txt; }; then
    Passed=$((Passed + 1))
  else
    Failed=$((Failed + 1)); echo "FAILED: split [$1]"; head -2 out.txt
  fi
}
Split "'my art.ans' out.png" "my art.ans" "out.png"
Split '"my art.ans"   "x y.png"' "my art.ans" "x y.png"
Split "\"it's.ans\" 'say \"hi\".png'" "it's.ans" 'say "hi".png'
Split "'it''s.ans' x\"\"y" "it's.ans" 'x"y'
Split "\"a\"\"b.ans\" o.png" 'a"b.ans' "" # not a valid Windows name: not found
Split "my\" \"art.ans o.png" "my art.ans" "o.png"
Split "'my art.ans' 'sub\\dir\\o.png'" "my art.ans" 'sub\dir\o.png'
Split "$(printf "'my art.ans'\tx.png")" "my art.ans" "x.png"

Finish
