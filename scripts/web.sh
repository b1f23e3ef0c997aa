#!/usr/bin/env bash
# Builds the WebAssembly converter (installing emscripten when missing),
# puts the page together in build/web with the font and fflate (the zip
# library, with its licence) beside it, and serves it on 127.0.0.1 for a
# person to try.
# Usage: scripts/web.sh [port]     or     scripts/web.sh --build-only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh emscripten python3
# Node.js with npm for the page's one library (fflate, pinned in web/): the
# machine's own, else Debian's.
command -v npm >/dev/null || scripts/setup.sh nodejs npm
# Debian's emscripten needs Debian's JavaScript modules, wherever node is.
export NODE_PATH=/usr/share/nodejs
cmake --preset wasm >/dev/null
cmake --build --preset wasm -j"$(nproc)" >/dev/null
Site=build/web
rm -rf "$Site"
mkdir -p "$Site"
(cd web && npm ci --no-audit --no-fund >/dev/null)
cp web/index.html web/page.js web/page.css web/pack-worker.js web/player-worker.js \
  build/wasm/tarvex.js build/wasm/tarvex.wasm "$Site/"
cp web/node_modules/fflate/umd/index.js "$Site/fflate.js"
cp web/node_modules/fflate/LICENSE "$Site/fflate-LICENSE"
scripts/get-font.sh "$Site/cp437.fnt" "$Site/FONT-LICENSE" >/dev/null
[ "${1:-}" != --build-only ] || exit 0
Port=${1:-8437}
echo "serving the page on http://127.0.0.1:$Port/ (Ctrl-C stops)"
exec python3 -m http.server "$Port" --bind 127.0.0.1 --directory "$Site"
