# Shared by the shell scripts: source it first (". scripts/lib.sh" from the
# project's root, or ". "$(dirname "$0")/lib.sh""). It stops on any error,
# moves to the project's root and offers the helpers below.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
Root=$PWD

# What every build and test needs.
BASE_PACKAGES=(g++ cmake make ninja-build python3 libgtest-dev zlib1g-dev libgif-dev pngcheck python3-pil)

# Installs those of the given Debian packages that are missing; a package of
# another architecture (zlib1g-dev:arm64) brings that architecture in first.
Install() {
  local Missing=() Package Sudo=""
  for Package in "$@"; do
    dpkg-query -W -f='${Status}' "$Package" 2>/dev/null | grep 'install ok installed' >/dev/null ||
      Missing+=("$Package")
  done
  [ ${#Missing[@]} -gt 0 ] || return 0
  echo "installing: ${Missing[*]}"
  [ "$(id -u)" -eq 0 ] || Sudo=sudo
  for Package in "${Missing[@]}"; do
    case $Package in
      *:*) dpkg --print-foreign-architectures | grep -x "${Package#*:}" >/dev/null ||
             $Sudo dpkg --add-architecture "${Package#*:}" ;;
    esac
  done
  $Sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $Sudo apt-get install -y -qq --no-install-recommends \
    "${Missing[@]}" >/dev/null
}

# Stops unless this runs as root (for a chroot, installing a package, or
# running tests as another user).
NeedRoot() {
  [ "$(id -u)" -eq 0 ] || { echo "$(basename "$0"): run as root ($1)" >&2; exit 1; }
}

# Configures and builds a preset quietly: Build PRESET [TARGET...]. Extra
# configure options go in the array CONFIGURE.
CONFIGURE=()
Build() {
  local Preset=$1 Targets=() Target
  shift
  for Target in "$@"; do Targets+=(--target "$Target"); done
  cmake --preset "$Preset" "${CONFIGURE[@]}" >/dev/null
  cmake --build --preset "$Preset" -j"$(nproc)" "${Targets[@]}" >/dev/null
}

# A scratch folder, removed when the script ends.
Scratch() {
  Work=$(mktemp -d)
  trap 'rm -rf "$Work"' EXIT
}
