#!/usr/bin/env bash
# Sets up what is missing, builds the release binary, fetches a CP437 font
# and converts a bundled sample: examples/colours.ans -> colours.png.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}"
Build release tarvex
scripts/get-font.sh cp437.fnt
build/release/tarvex examples/colours.ans colours.png
