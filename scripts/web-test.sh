#!/usr/bin/env bash
# Tests the page in a real browser: builds the WebAssembly page and the
# native program, then drives Debian's chromium (puppeteer-core, pinned in
# tests/web) over the examples, generated inputs, an empty file, a file of
# tens of MB, unfinished sequences and a run that must fail, then packs
# (tests/web/make_packs.py) and playback, comparing every PNG, report line
# and exit status with the native program's. Leaves screenshots, the timing
# figures and the page's size in build/web-test/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh chromium python3
# Node.js 18 or later with npm: the machine's own, else Debian's.
command -v npm >/dev/null || scripts/setup.sh nodejs npm
bash scripts/web.sh --build-only
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target tarvex >/dev/null
Out=build/web-test
Inputs=$Out/inputs
rm -rf "$Out"
mkdir -p "$Inputs"
scripts/make-inputs.py "$Inputs" 4
cp examples/*.ans bench/art/*.ans "$Inputs/"
: > "$Inputs/empty.ans"
python3 - "$Inputs" <<'PY'
import os, sys
folder = sys.argv[1]
art = open(os.path.join(folder, 'bs-alove.ans'), 'rb').read()
with open(os.path.join(folder, 'large.ans'), 'wb') as out:  # tens of MB
    out.write(art * (40 * 1024 * 1024 // len(art)))
with open(os.path.join(folder, 'unfinished.ans'), 'wb') as out:
    out.write(b'start\r\n' + b'\x1b[1;3' * 20000 + b'\x1b')
with open(os.path.join(folder, 'picture.png'), 'wb') as out:  # its output would be itself
    out.write(b'\x1b[31mnot a picture\r\n')
PY
# Packs: from the repository's art and 200 generated inputs.
scripts/make-inputs.py "$Out/many" 40
python3 tests/web/make_packs.py . "$Out/many" "$Out/packs"
(cd tests/web && npm ci --no-audit --no-fund >/dev/null)
node tests/web/browser_test.mjs build/web build/release/tarvex "$Inputs" "$Out" "$Out/packs"
# The size a visitor downloads, for BENCHMARKS.md: every file the page loads.
Total=0
for File in index.html page.css page.js pack-worker.js player-worker.js fflate.js tarvex.js tarvex.wasm cp437.fnt; do
  Size=$(gzip -9c "build/web/$File" | wc -c)
  Total=$((Total + Size))
  printf '%s: %d bytes, %d with gzip -9\n' "$File" "$(stat -c %s "build/web/$File")" "$Size"
done > "$Out/web-size.txt"
echo "all: $Total bytes with gzip -9" >> "$Out/web-size.txt"
cat "$Out/web-size.txt"
