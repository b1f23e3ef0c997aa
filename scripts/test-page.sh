#!/usr/bin/env bash
# Tests the page in a real browser: builds the WebAssembly page and the
# native programs, then drives Debian's chromium (puppeteer-core, pinned in
# tests/web) through node:test's named behaviours: every PNG, report line
# and exit status against the native program's over the examples, generated
# inputs, an empty file, a file of tens of MB and unfinished sequences
# (conversions.mjs); packs from tests/web/make_packs.py (packs.mjs);
# playback and saved moments (playback.mjs); and the faults a new user met
# (faults.mjs). scripts/time-page.sh prints the page's figures.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" chromium
# Node.js 18 or later with npm: the machine's own, else Debian's.
command -v npm >/dev/null || Install nodejs npm
scripts/build-page.sh
Build release tarvex tarvex-play
Out=build/web-test
rm -rf "$Out"
scripts/make-inputs.py "$Out/inputs" 4
scripts/make-inputs.py --page "$Out/inputs"
# Packs: from the repository's art and 200 generated inputs.
scripts/make-inputs.py "$Out/many" 40
python3 tests/web/make_packs.py . "$Out/many" "$Out/packs"
(cd tests/web && npm ci --no-audit --no-fund >/dev/null)
TARVEX_SITE=build/web TARVEX_NATIVE=build/release/tarvex TARVEX_TEST=$Out \
  node --test --test-concurrency=1 tests/web/conversions.mjs tests/web/packs.mjs tests/web/playback.mjs \
  tests/web/faults.mjs
node tests/web/screenshots.mjs build/web bench/art "$Out"
