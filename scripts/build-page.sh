#!/usr/bin/env bash
# Builds the WebAssembly converter (installing emscripten when missing) and
# puts the page together in build/web, with the font, fflate (the zip
# library) and giflib's licence beside it. scripts/serve-page.sh serves it.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" emscripten
# Node.js with npm for the page's one library (fflate, pinned in web/): the
# machine's own, else Debian's.
command -v npm >/dev/null || Install nodejs npm
# Debian's emscripten needs Debian's JavaScript modules, wherever node is.
export NODE_PATH=/usr/share/nodejs
Build wasm
Site=build/web
rm -rf "$Site"
mkdir -p "$Site"
(cd web && npm ci --no-audit --no-fund >/dev/null)
cp web/index.html web/page.js web/gallery.js web/player.js web/rules.js web/page.css \
  web/pack-worker.js web/player-worker.js web/animation.js web/animation-worker.js \
  build/wasm/tarvex.js build/wasm/tarvex.wasm "$Site/"
cp third_party/giflib/COPYING "$Site/GIFLIB-LICENSE"
cp web/node_modules/fflate/umd/index.js "$Site/fflate.js"
cp web/node_modules/fflate/LICENSE "$Site/fflate-LICENSE"
scripts/get-font.sh "$Site/cp437.fnt" "$Site/FONT-LICENSE" >/dev/null
