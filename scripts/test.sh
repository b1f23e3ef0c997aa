#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under the release and
# the sanitizer presets, and the page's rules under Node's own test runner.
# Warnings are errors when CI is set.
. "$(dirname "$0")/lib.sh"
Install "${BASE_PACKAGES[@]}"
# Node.js 18 or later for the page's rules: the machine's own, else Debian's.
command -v node >/dev/null || Install nodejs
echo "== the page's rules"
node --test tests/web/rules.test.mjs
scripts/get-font.sh build/cp437.fnt # for the pinned pictures
[ -z "${CI:-}" ] || CONFIGURE=(-DTARVEX_WERROR=ON)
for Preset in release asan; do
  echo "== $Preset"
  Build "$Preset"
  ctest --preset "$Preset" -j"$(nproc)"
done
