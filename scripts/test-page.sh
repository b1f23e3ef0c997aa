#!/usr/bin/env bash
# Tests the page in a real browser: builds the WebAssembly page and the
# native program, then drives Debian's chromium (puppeteer-core, pinned in
# tests/web) over the examples, generated inputs, an empty file, a file of
# tens of MB, unfinished sequences and a run that must fail, then packs
# (tests/web/make_packs.py) and playback, comparing every PNG, report line
# and exit status with the native program's. Leaves screenshots, the timing
# figures and the page's size in build/web-test/.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" chromium
# Node.js 18 or later with npm: the machine's own, else Debian's.
command -v npm >/dev/null || Install nodejs npm
scripts/build-page.sh
Build release tarvex
Out=build/web-test
Inputs=$Out/inputs
rm -rf "$Out"
scripts/make-inputs.py "$Inputs" 4
scripts/make-inputs.py --page "$Inputs"
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
