#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under the release and
# the sanitizer presets. Warnings are errors when CI is set.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/get-font.sh build/cp437.fnt # for the pinned pictures
Strict=()
[ -n "${CI:-}" ] && Strict=(-DTARVEX_WERROR=ON)
for Preset in release asan; do
  echo "== $Preset"
  cmake --preset "$Preset" "${Strict[@]}" >/dev/null
  cmake --build --preset "$Preset" -j"$(nproc)"
  ctest --preset "$Preset" -j"$(nproc)"
done
