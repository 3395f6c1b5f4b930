#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-dev
  qt6-base-dev libgl-dev
  libmp3lame-dev libmpg123-dev libpulse-dev libsndfile1-dev libtag1-dev
  libcanberra-dev libcanberra-pulse sound-theme-freedesktop libxcb1-dev
  fonts-dejavu-core
  libgtest-dev libbenchmark-dev
  ffmpeg mpg123 sox lame mp3val python3-mutagen
  pulseaudio pulseaudio-utils
  xvfb xauth xdotool imagemagick time
  openbox x11-utils
  at-spi2-core dbus-daemon python3-pyatspi
  help2man groff-base dpkg-dev desktop-file-utils appstream lintian parallel
)
if [ "${1:-}" = "--print" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
