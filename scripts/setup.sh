#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Kelmar needs to build and test (Debian 12), then builds it into build/.
# With --package, also the tools that check and build the Debian package; with --no-build, it
# only installs.
set -euo pipefail
cd "$(dirname "$0")/.."

# What the build needs.
PKGS=(cmake g++ make pkg-config qt6-base-dev libzip-dev zlib1g-dev liblzma-dev libzstd-dev libbz2-dev
      libssl-dev libdeflate-dev libgtest-dev libqt6svg6 xauth fontconfig fonts-dejavu-core)
# Every program a test or a script of ours runs, each with the package that brings it. The tests
# read this table and refuse to run a program it does not name (tests/common/Tools.cpp,
# tests/common/tools.sh), so no test can come to rely on a program a fresh machine lacks.
TOOLS=(
  "zip zip" "unzip unzip" "zipinfo unzip" "7zz 7zip" "bsdtar libarchive-tools" "zstd zstd"
  "advzip advancecomp" "python3 python3" "Xvfb xvfb" "xvfb-run xvfb" "xdotool xdotool"
  "openbox openbox" "xprop x11-utils" "xwininfo x11-utils" "chattr e2fsprogs"
  "setpriv util-linux" "chown coreutils" "rm coreutils" "cat coreutils" "mkdir coreutils"
  "sh dash" "bash bash"
)
# With --package: what validates the installed tree, and what builds the Debian package through
# debian/ and lints it (build-essential is what dpkg-buildpackage asks for beyond Build-Depends).
PACKAGE_TOOLS=(
  "desktop-file-validate desktop-file-utils" "appstreamcli appstream" "mandoc mandoc"
  "dpkg-shlibdeps dpkg-dev" "dpkg-buildpackage dpkg-dev" "dpkg-parsechangelog dpkg-dev"
  "dpkg-deb dpkg" "tar tar" "dh debhelper" "lintian lintian" "readelf binutils" "file file"
)
# The packages of those tables, spelled out so that a reader (and a search) finds each one here.
TEST_PKGS=(zip unzip 7zip libarchive-tools zstd advancecomp python3 xvfb xdotool openbox x11-utils
           e2fsprogs util-linux coreutils dash bash)
PACKAGE_PKGS=(desktop-file-utils appstream mandoc dpkg-dev dpkg tar debhelper lintian binutils
              build-essential file)
PKGS+=("${TEST_PKGS[@]}")
tables=("${TOOLS[@]}")
build=true
for arg; do
  case $arg in
    --package) PKGS+=("${PACKAGE_PKGS[@]}"); tables+=("${PACKAGE_TOOLS[@]}") ;;
    --no-build) build=false ;;
    *) echo "usage: scripts/setup.sh [--package] [--no-build]" >&2; exit 2 ;;
  esac
done
# A table entry whose package the lists above leave out would pass here and fail elsewhere.
for entry in "${tables[@]}"; do
  if ! printf '%s\n' "${PKGS[@]}" | grep -qx -- "${entry#* }"; then
    echo "scripts/setup.sh: ${entry#* } (for ${entry%% *}) is in a tools table but not installed" >&2
    exit 1
  fi
done

missing=()
for p in $(printf '%s\n' "${PKGS[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

$build || exit 0
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
