#!/usr/bin/env bash
# Converts the bundled art (examples/ and bench/art/) with a CP437 font and
# without, in folders of their own, and checks every PNG against the SHA-256
# recorded in tests/pictures.sha256. The pictures are pinned, so a fault
# cannot hide behind builds that merely agree with each other.
# Usage: scripts/test-pictures.sh [--write] <cp437.fnt> <command...>
#   e.g. scripts/test-pictures.sh build/cp437.fnt qemu-aarch64-static tarvex
# --write records the pictures of the given build instead; look at them first.
# Exits 77 (skipped) when the font file is missing.
set -euo pipefail
Root=$(cd "$(dirname "$0")/.." && pwd)
Write=no
[ "${1:-}" = --write ] && { Write=yes; shift; }
[ $# -ge 2 ] || { echo "usage: $0 [--write] <cp437.fnt> <command...>" >&2; exit 2; }
Font=$1
shift
if [ ! -s "$Font" ]; then
  echo "no font at $Font: make one with scripts/get-font.sh $Font" >&2
  exit 77
fi
Font=$(realpath "$Font")
Command=()
for Word in "$@"; do # paths given relative to here still work in the folders below
  if [ -e "$Word" ]; then Command+=("$(realpath "$Word")"); else Command+=("$Word"); fi
done
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
mkdir "$Work/font" "$Work/none"
cp "$Font" "$Work/font/cp437.fnt"
for Folder in font none; do
  cp "$Root"/examples/*.ans "$Root"/bench/art/*.ans "$Work/$Folder/"
  for Input in "$Work/$Folder"/*.ans; do
    (cd "$Work/$Folder" && "${Command[@]}" "$(basename "$Input")" >/dev/null 2>&1) ||
      echo "failed: $Folder/$(basename "$Input")" >&2
  done
done
Sums=$Root/tests/pictures.sha256
cd "$Work"
if [ "$Write" = yes ]; then
  sha256sum font/*.png none/*.png > "$Sums"
  echo "wrote $Sums"
elif sha256sum --quiet -c "$Sums"; then
  echo "pictures: all $(wc -l < "$Sums") as recorded"
else
  echo "pictures: some differ from tests/pictures.sha256 (above)" >&2
  exit 1
fi
