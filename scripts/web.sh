#!/usr/bin/env bash
# Builds the WebAssembly converter (installing emscripten when missing),
# puts the page together in build/web with the font beside it, and serves
# it on 127.0.0.1 for a person to try.
# Usage: scripts/web.sh [port]     or     scripts/web.sh --build-only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh emscripten python3
# Debian's emscripten needs Debian's JavaScript modules, wherever node is.
export NODE_PATH=/usr/share/nodejs
cmake --preset wasm >/dev/null
cmake --build --preset wasm -j"$(nproc)" >/dev/null
Site=build/web
rm -rf "$Site"
mkdir -p "$Site"
cp web/index.html web/page.js web/page.css build/wasm/tarvex.js build/wasm/tarvex.wasm "$Site/"
scripts/get-font.sh "$Site/cp437.fnt" "$Site/FONT-LICENSE" >/dev/null
[ "${1:-}" != --build-only ] || exit 0
Port=${1:-8437}
echo "serving the page on http://127.0.0.1:$Port/ (Ctrl-C stops)"
exec python3 -m http.server "$Port" --bind 127.0.0.1 --directory "$Site"
