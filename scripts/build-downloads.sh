#!/usr/bin/env bash
# Builds every download into dist/, reproducibly (the same commit gives the
# same bytes, in any clone, at any time):
#   tarvex-<v>-linux-x86_64.tar.gz, tarvex-<v>-linux-aarch64.tar.gz  fully static
#   tarvex-<v>-windows-x86_64.zip                                     static tarvex.exe
#   tarvex_<v>-1_amd64.deb                                            Debian package
#   tarvex-<v>.tar.gz                                                 the source
#   SHA256SUMS
# Each binary download and the package carry tarvex-play beside tarvex.
# The binary archives carry cp437.fnt from Debian's console-data with its
# licence. Usage: scripts/build-downloads.sh   (DEB_BUILD_OPTIONS=nocheck
# skips the package's own test run)
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}" g++-aarch64-linux-gnu qemu-user-static mingw-w64 \
  libz-mingw-w64-dev zlib1g-dev:arm64 debhelper devscripts dpkg-dev fakeroot zip
scripts/check-version.sh
Version=$(scripts/check-version.sh --print)

# Everything is dated by the last commit and built under fixed names.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
Dist=$Root/dist
Work=$Root/build/release-work
rm -rf "$Dist" "$Work"
mkdir -p "$Dist" "$Work"

Fresh() { # preset; from scratch, so everything carries this commit's date
  rm -rf "build/$1"
  Build "$1" tarvex tarvex-play
}

# Sorted, owner-free, dated archives.
Tarball() { # archive, folder (inside $Work)
  tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
    --format=gnu -C "$Work" -cf - "$2" | gzip -9n > "$1"
}

scripts/get-font.sh "$Work/cp437.fnt" "$Work/FONT-LICENSE" >/dev/null
# The folder of one binary download: programs, font, texts, manual pages.
Folder() { # name, build folder, windows (yes: .exe, texts with CR LF, no manual pages)
  local Folder=$Work/$1 Exe=
  [ "$3" = yes ] && Exe=.exe
  mkdir -p "$Folder"
  install -m 0755 "$2/tarvex$Exe" "$2/tarvex-play$Exe" "$Folder/"
  install -m 0644 "$Work/cp437.fnt" "$Work/FONT-LICENSE" README.md LICENSE "$Folder/"
  if [ "$3" = yes ]; then
    for Text in README.md LICENSE FONT-LICENSE; do
      sed -i 's/\r*$/\r/' "$Folder/$Text"
    done
  else
    install -m 0644 tarvex.1 tarvex-play.1 "$Folder/"
  fi
  find "$Folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

echo "== linux x86-64 (static)"
Fresh linux-x86_64
Folder "tarvex-$Version-linux-x86_64" build/linux-x86_64 no
Tarball "$Dist/tarvex-$Version-linux-x86_64.tar.gz" "tarvex-$Version-linux-x86_64"

echo "== linux arm64 (static, cross-built)"
Fresh linux-aarch64
Folder "tarvex-$Version-linux-aarch64" build/linux-aarch64 no
Tarball "$Dist/tarvex-$Version-linux-aarch64.tar.gz" "tarvex-$Version-linux-aarch64"

echo "== windows x86-64 (static)"
Fresh windows
Folder "tarvex-$Version-windows-x86_64" build/windows yes
(cd "$Work" && find "tarvex-$Version-windows-x86_64" -print | sort |
  zip -X -9 -q -@ "$Dist/tarvex-$Version-windows-x86_64.zip")

echo "== source"
git archive --format=tar --prefix="tarvex-$Version/" HEAD | gzip -9n > "$Dist/tarvex-$Version.tar.gz"

echo "== debian package"
# Built from the source archive, so nothing but committed files goes in.
mkdir -p "$Work/deb"
tar -xzf "$Dist/tarvex-$Version.tar.gz" -C "$Work/deb"
(cd "$Work/deb/tarvex-$Version" && dpkg-buildpackage -b -us -uc >"$Work/deb/build.log" 2>&1) ||
  { tail -40 "$Work/deb/build.log"; exit 1; }
cp "$Work/deb/tarvex_$Version-1_amd64.deb" "$Dist/"

(cd "$Dist" && sha256sum -- * > SHA256SUMS)
cat "$Dist/SHA256SUMS"
