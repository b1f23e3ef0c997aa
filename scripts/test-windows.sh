#!/usr/bin/env bash
# Cross-builds tarvex.exe with mingw-w64 (static: one file to copy) and runs
# its CLI tests under Wine, comparing its PNGs with the Linux build's.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" mingw-w64 libz-mingw-w64-dev wine wine64
Build windows
Build release tarvex
echo "== windows (under Wine)"
tests/windows/cli_test.sh build/windows/tarvex.exe build/release/tarvex examples
