#!/usr/bin/env bash
# Proves the downloads in dist/ (made by scripts/build-downloads.sh) where
# they run:
# - tarvex-play beside tarvex in each, the same whole pieces, GIFs and
#   APNGs from each;
# - linux-aarch64: statically linked; the CLI tests pass against it under
#   qemu-aarch64-static (no arm64 root given); its PNGs equal x86-64's;
# - every build paints the bundled art as recorded in tests/pictures.sha256;
# - linux-x86_64: statically linked; converts inside an otherwise empty root;
# - windows-x86_64: tarvex.exe under Wine writes the same PNGs as Linux;
# - the .deb installs with apt, converts, has its manual page, removes
#   cleanly, and lintian finds no error or warning.
. "$(dirname "$0")/lib.sh"
NeedRoot "a chroot, and installing the package"
Install "${BASE_PACKAGES[@]}" qemu-user-static wine wine64 lintian man-db file unzip
Version=$(scripts/check-version.sh --print)
Dist=$Root/dist
Scratch
chmod 755 "$Work" # user 65534 runs the arm64 program in the CLI tests
export WINEDEBUG=-all

for Arch in x86_64 aarch64; do
  tar -xzf "$Dist/tarvex-$Version-linux-$Arch.tar.gz" -C "$Work"
done
unzip -q "$Dist/tarvex-$Version-windows-x86_64.zip" -d "$Work"
X86=$Work/tarvex-$Version-linux-x86_64/tarvex
Arm=$Work/tarvex-$Version-linux-aarch64/tarvex
Exe=$Work/tarvex-$Version-windows-x86_64/tarvex.exe
Font=$Work/tarvex-$Version-linux-x86_64/cp437.fnt
Play() { echo "${1%/*}/tarvex-play${1##*/tarvex}"; } # tarvex-play beside a tarvex

echo "== static binaries"
for Binary in "$X86" "$Arm" "$(Play "$X86")" "$(Play "$Arm")"; do
  file -L "$Binary" | grep "statically linked"
done
file "$Arm" | grep "ARM aarch64" >/dev/null
grep -q $'\r$' "$Work/tarvex-$Version-windows-x86_64/README.md"

echo "== x86-64 in an empty root"
mkdir -p "$Work/root"
cp "$X86" "$Root/examples/colours.ans" "$Work/root/"
chroot "$Work/root" /tarvex /colours.ans /colours.png
test -s "$Work/root/colours.png"

echo "== arm64: the CLI tests under qemu-aarch64-static"
Build release cli_tests
TARVEX_UNDER_TEST=$Arm TARVEX_PLAY_UNDER_TEST=$(Play "$Arm") TARVEX_LAUNCHER=$(command -v qemu-aarch64-static) \
  build/release/tests/cli_tests --gtest_brief=1

echo "== the same PNGs from every build"
scripts/make-inputs.py "$Work/inputs" 5
cp examples/*.ans "$Work/inputs/"
Compare() { # label, command...; runs in a folder with and without the font
  local Label=$1 Fails=0
  shift
  for Font_ in none font; do
    local Here=$Work/$Label-$Font_ Base=$Work/x86-$Font_
    mkdir -p "$Here"
    [ "$Font_" = none ] || cp "$Font" "$Here/cp437.fnt"
    for Input in "$Work"/inputs/*.ans; do
      local Name
      Name=$(basename "$Input" .ans)
      cp "$Input" "$Here/$Name.ans"
      (cd "$Here" && "$@" "$Name.ans" "$Name.png" >/dev/null 2>&1) || true
      if [ "$Label" != x86 ] && ! cmp -s "$Here/$Name.png" "$Base/$Name.png"; then
        echo "DIFFERS: $Label $Font_ $Name"
        Fails=$((Fails + 1))
      fi
    done
  done
  echo "$Label: $(ls "$Work"/inputs/*.ans | wc -l) inputs x 2, $Fails differ"
  [ "$Fails" -eq 0 ]
}
Compare x86 "$X86"
Compare arm64 qemu-aarch64-static "$Arm"
wine cmd /c exit >/dev/null 2>&1 || true
Compare windows wine "$Exe"

echo "== the same whole pieces from every build"
Whole() { # label, tarvex-play command...
  local Label=$1 Fails=0 Input
  shift
  mkdir -p "$Work/whole-$Label"
  for Input in "$Work"/inputs/*.ans; do
    "$@" --whole --no-font -o "$Work/whole-$Label/$(basename "$Input" .ans).png" "$Input" 2>/dev/null
    cmp -s "$Work/whole-$Label/$(basename "$Input" .ans).png" \
      "$Work/whole-x86/$(basename "$Input" .ans).png" || Fails=$((Fails + 1))
  done
  echo "$Label: $(ls "$Work"/inputs/*.ans | wc -l) whole pieces, $Fails differ"
  [ "$Fails" -eq 0 ]
}
Whole x86 "$(Play "$X86")"
Whole arm64 qemu-aarch64-static "$(Play "$Arm")"
Whole windows wine "$(Play "$Exe")"

echo "== the same animations from every build"
Animations() { # label, tarvex-play command...: the bundled examples as GIF and APNG
  local Label=$1 Fails=0 Input Mode Out
  shift
  mkdir -p "$Work/anim-$Label"
  for Input in "$Root"/examples/*.ans; do
    for Mode in gif apng; do
      Out=$(basename "$Input" .ans).$Mode
      "$@" --$Mode --no-font --bps 2400 -o "$Work/anim-$Label/$Out" "$Input" 2>/dev/null
      cmp -s "$Work/anim-$Label/$Out" "$Work/anim-x86/$Out" || Fails=$((Fails + 1))
    done
  done
  echo "$Label: $(ls "$Root"/examples/*.ans | wc -l) inputs x 2 animations, $Fails differ"
  [ "$Fails" -eq 0 ]
}
Animations x86 "$(Play "$X86")"
Animations arm64 qemu-aarch64-static "$(Play "$Arm")"
Animations windows wine "$(Play "$Exe")"

echo "== the pinned pictures from every build"
scripts/test-pictures.sh "$Font" "$X86"
scripts/test-pictures.sh "$Font" qemu-aarch64-static "$Arm"
scripts/test-pictures.sh "$Font" wine "$Exe"

echo "== debian package"
lintian --fail-on error,warning "$Dist/tarvex_${Version}-1_amd64.deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$Dist/tarvex_${Version}-1_amd64.deb" >/dev/null
(cd "$Work" && tarvex "$Root/examples/colours.ans" "$Work/installed.png")
cmp "$Work/installed.png" "$Work/x86-none/colours.png"
(cd "$Work" && tarvex-play --whole --no-font -o installed.whole.png "$Root/examples/colours.ans")
cmp "$Work/installed.whole.png" "$Work/installed.png" # no scroll: the same picture
man -w tarvex
man -w tarvex-play
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarvex >/dev/null
if command -v tarvex >/dev/null || command -v tarvex-play >/dev/null ||
  [ -e /usr/share/man/man1/tarvex.1.gz ] || [ -e /usr/share/man/man1/tarvex-play.1.gz ]; then
  echo "tarvex was not removed cleanly" >&2
  exit 1
fi
echo "all downloads proven"
