#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the
# machine lacks. Safe to run again: it touches apt only when something is missing.
# Mesa's OpenGL (llvmpipe, through GLX) is the raster benchmark's peer under Xvfb.
# openbox and x11-utils (xprop, xwininfo) serve the check that runs the game under a
# window manager on the virtual display.
# With the argument "fuzz" it adds what the fuzz targets need (clang and its runtimes).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev
  libbox2d-dev libfreetype-dev libpng-dev libjpeg62-turbo-dev libutfcpp-dev
  zlib1g-dev libxml2-dev libzip-dev zipcmp zipmerge ziptool
  libsdl2-dev fonts-dejavu-core
  libimgui-dev xvfb xdotool
  openbox x11-utils
  libgl1 libglx-mesa0 libgl1-mesa-dri
  sox lame libmpg123-dev libxmp-dev
  xdg-utils
)
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
