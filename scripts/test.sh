#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under the release and
# the sanitizer presets. Warnings are errors when CI is set.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}"
scripts/get-font.sh build/cp437.fnt # for the pinned pictures
[ -z "${CI:-}" ] || CONFIGURE=(-DTARVEX_WERROR=ON)
for Preset in release asan; do
  echo "== $Preset"
  Build "$Preset"
  ctest --preset "$Preset" -j"$(nproc)"
done
