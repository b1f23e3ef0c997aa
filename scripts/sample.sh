#!/usr/bin/env bash
# Sets up what is missing, builds the release binary, fetches a CP437 font
# and converts a bundled sample: examples/colours.ans -> colours.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" >/dev/null
scripts/get-font.sh cp437.fnt
build/release/tarvex examples/colours.ans colours.png
