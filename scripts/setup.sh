#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
# Usage: scripts/setup.sh [extra packages...]
set -euo pipefail
Packages=(g++ cmake make ninja-build python3 libgtest-dev zlib1g-dev pngcheck "$@")
Missing=()
for Package in "${Packages[@]}"; do
  dpkg-query -W -f='${Status}' "$Package" 2>/dev/null | grep 'install ok installed' >/dev/null ||
    Missing+=("$Package")
done
if [ ${#Missing[@]} -gt 0 ]; then
  echo "installing: ${Missing[*]}"
  Sudo=""
  [ "$(id -u)" -eq 0 ] || Sudo="sudo"
  $Sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $Sudo apt-get install -y -qq --no-install-recommends "${Missing[@]}" >/dev/null
fi
