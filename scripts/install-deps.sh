#!/usr/bin/env bash
# Installs the Debian packages Beatloom needs to build, test and run.
# Used by the README's commands and by CI; does nothing when all are present.
#   scripts/install-deps.sh            to build, test and run
#   scripts/install-deps.sh --package  those and what makes and checks the
#                                      Debian package (scripts/package*.sh)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format clang-tidy
  libsdl2-dev libsndfile1-dev libsamplerate0-dev libgif-dev libpng-dev libcairo2-dev
  librubberband-dev libebur128-dev libaubio-dev
  ableton-link-dev libasio-dev
  fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth zenity xdg-utils sox libsox-fmt-all
  librtmidi-dev jackd2 libjack-jackd2-dev
  liblilv-dev lv2-dev lilv-utils mda-lv2 swh-lv2
  liblo-dev liblo-tools python3-liblo
)
if [ "${1:-}" = "--package" ]; then
  # dpkg-shlibdeps and dpkg-gencontrol; lintian; appstreamcli; desktop-file-validate.
  packages+=(dpkg-dev lintian appstream desktop-file-utils)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
