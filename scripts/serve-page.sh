#!/usr/bin/env bash
# Builds the page (scripts/build-page.sh) and serves it on 127.0.0.1 for a
# person to try. Usage: scripts/serve-page.sh [port]
. "$(dirname "$0")/lib.sh"
scripts/build-page.sh
Port=${1:-8437}
echo "serving the page on http://127.0.0.1:$Port/ (Ctrl-C stops)"
exec python3 -m http.server "$Port" --bind 127.0.0.1 --directory build/web
