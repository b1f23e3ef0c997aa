#!/usr/bin/env bash
# Writes a CP437 8x16 font as cp437.fnt (or the path given) from Debian's
# console-data package: the PSF1 font minus its 4-byte header, 4096 bytes.
# With a second path, also writes the font's origin and licence there.
# Usage: scripts/get-font.sh [font path] [licence path]
set -euo pipefail
Target=${1:-cp437.fnt}
Licence=${2:-}
if [ -z "$Licence" ] && [ -s "$Target" ] && [ "$(stat -c %s "$Target")" -ge 4096 ]; then
  exit 0
fi
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
( cd "$Work" && { apt-get download console-data >/dev/null 2>&1 || { apt-get update -qq && apt-get download console-data >/dev/null; }; } )
dpkg -x "$Work"/console-data_*.deb "$Work/root"
Version=$(dpkg-deb -f "$Work"/console-data_*.deb Version)
gunzip -c "$Work/root/usr/share/consolefonts/default8x16.psf.gz" > "$Work/font.psf"
# PSF1 header: magic 36 04, a mode byte, then the glyph height (16).
Header=$(head -c 4 "$Work/font.psf" | od -An -tx1 | tr -d ' \n')
case "$Header" in
  3604??10) ;;
  *) echo "unexpected font header $Header in console-data" >&2; exit 1 ;;
esac
head -c 4100 "$Work/font.psf" | tail -c 4096 > "$Work/cp437.fnt" # no early reader: no SIGPIPE
mkdir -p "$(dirname "$Target")"
mv "$Work/cp437.fnt" "$Target"
echo "wrote $Target"
if [ -n "$Licence" ]; then
  {
    echo "cp437.fnt: the 8 x 16 font of code page 437 from Debian's console-data"
    echo "package, version $Version: /usr/share/consolefonts/default8x16.psf.gz,"
    echo "unpacked, without its 4-byte PSF header; the first 4096 bytes after it,"
    echo "unchanged. tarvex reads it from the folder it converts in."
    echo
    echo "console-data states that its fonts are distributed under the GNU General"
    echo "Public License, version 2 (GPL-2.0). The corresponding source is Debian's"
    echo "console-data source package, version $Version. Its copyright file and the"
    echo "licence text follow."
    echo
    echo "---------------------------------------------------------------------------"
    cat "$Work/root/usr/share/doc/console-data/copyright"
    echo "---------------------------------------------------------------------------"
    cat /usr/share/common-licenses/GPL-2
  } > "$Licence"
  echo "wrote $Licence"
fi
