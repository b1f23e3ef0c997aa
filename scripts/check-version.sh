#!/usr/bin/env bash
# The version is set once, in CMakeLists.txt (project VERSION). Checks that
# the manual pages and debian/changelog say the same; --print prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
Version=$(sed -n 's/^project(tarvex VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "${1:-}" = --print ]; then
  echo "$Version"
  exit 0
fi
Status=0
Page=$(sed -n 's/^\.TH TARVEX 1 "[^"]*" "tarvex \([^"]*\)".*/\1/p' tarvex.1)
[ "$Page" = "$Version" ] || { echo "tarvex.1 says version '$Page', CMakeLists.txt $Version" >&2; Status=1; }
Play=$(sed -n 's/^\.TH TARVEX-PLAY 1 "[^"]*" "tarvex \([^"]*\)".*/\1/p' tarvex-play.1)
[ "$Play" = "$Version" ] || { echo "tarvex-play.1 says version '$Play', CMakeLists.txt $Version" >&2; Status=1; }
Package=$(sed -n '1s/^tarvex (\([^)-]*\)-[0-9]*).*/\1/p' debian/changelog)
[ "$Package" = "$Version" ] || { echo "debian/changelog says '$Package', CMakeLists.txt $Version" >&2; Status=1; }
exit "$Status"
