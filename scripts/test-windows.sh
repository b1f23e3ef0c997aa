#!/usr/bin/env bash
# Cross-builds tarvex.exe and tarvex-play.exe with mingw-w64 (static: one
# file to copy each) and runs their CLI tests under Wine, comparing their
# PNGs with the Linux build's.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" mingw-w64 libz-mingw-w64-dev wine wine64
Build windows tarvex tarvex-play
Build release tarvex tarvex-play
echo "== windows (under Wine)"
tests/windows/cli_test.sh build/windows/tarvex.exe build/release/tarvex examples
echo "== tarvex-play.exe (under Wine)"
tests/windows/play_test.sh build/windows/tarvex-play.exe build/release/tarvex-play examples
