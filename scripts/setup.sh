#!/usr/bin/env bash
# Installs what Kelmar needs to build and test (Debian 12), then builds it into build/.
# With --package, also the tools that check and build the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."

PKGS=(cmake g++ make pkg-config qt6-base-dev libzip-dev zlib1g-dev liblzma-dev libzstd-dev
      libssl-dev libdeflate-dev libgtest-dev libqt6svg6 zip unzip 7zip zstd advancecomp python3
      xvfb xauth fontconfig fonts-dejavu-core openbox xdotool x11-utils)
if [ "${1:-}" = --package ]; then
  # validators of the installed tree, and what CPack needs to work out the dependencies
  PKGS+=(desktop-file-utils appstream mandoc dpkg-dev file)
fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
