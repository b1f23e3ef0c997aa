#!/usr/bin/env bash
# Prints the page's figures for BENCHMARKS.md: one file against the native
# program, packs, the player's seeks and frames, the bench art saved as GIF
# and APNG against the native tarvex-play, the page's size, and the
# browser's peak memory while converting and opening the player for a pack
# of five 250 MiB entries of zeros and a loose file of 1.08 GB.
# Usage: scripts/time-page.sh [--memory SITE]  (only the memory, of the page
# built in SITE, for a build of the page before this script existed)
#        scripts/time-page.sh --packs SITE    (only the packs, the page built
# in SITE against this one, taking turns in one run)
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" chromium
command -v npm >/dev/null || Install nodejs npm
Out=build/web-test
Big=build/web-big
case "${1:-}" in
  --memory) Mode=(--memory) Site=$2 ;;
  --packs) Mode=(--packs "$2") Site=build/web; scripts/build-page.sh ;;
  *) Mode=() Site=build/web; scripts/build-page.sh ;;
esac
Build release tarvex tarvex-play
if [ ! -d "$Out/packs" ]; then
  scripts/make-inputs.py "$Out/inputs" 4
  scripts/make-inputs.py --page "$Out/inputs"
  scripts/make-inputs.py "$Out/many" 40
  python3 tests/web/make_packs.py . "$Out/many" "$Out/packs"
fi
if [ "${1:-}" != --packs ] && [ ! -f "$Big/art-1g.ans" ]; then
  mkdir -p "$Big"
  python3 - "$Big" <<'PY'
import os, sys, zipfile
big = sys.argv[1]
with zipfile.ZipFile(os.path.join(big, "zeros-5x250m.zip"), "w", zipfile.ZIP_DEFLATED) as pack:
    for i in range(5):
        pack.writestr("zeros-%d.ans" % i, bytes(250 * 1024 * 1024))
art = b"".join(open(os.path.join("bench", "art", n), "rb").read()
               for n in sorted(os.listdir(os.path.join("bench", "art"))) if n.endswith(".ans"))
with open(os.path.join(big, "art-1g.ans"), "wb") as f:
    for _ in range(1080 * 1000 * 1000 // len(art)):
        f.write(art)
PY
fi
(cd tests/web && npm ci --no-audit --no-fund >/dev/null)
node tests/web/timing.mjs "${Mode[@]}" "$Site" build/release/tarvex "$Out" "$Big"
