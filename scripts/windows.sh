#!/usr/bin/env bash
# Cross-builds tarvex.exe with mingw-w64 (static: one file to copy) and runs
# its CLI tests under Wine, comparing its PNGs with the Linux build's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh mingw-w64 libz-mingw-w64-dev wine wine64
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvex >/dev/null
echo "== windows (under Wine)"
tests/windows/cli_test.sh build/windows/tarvex.exe build/release/tarvex examples
