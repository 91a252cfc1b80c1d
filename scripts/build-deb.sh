#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package through debian/ (dpkg-buildpackage -us -uc -b) in a copy of the
# source tree, so the tree itself stays clean, then lints it, and the source package made from
# the same copy, with lintian --pedantic.
# Usage: build-deb.sh OUT_DIR
# Leaves kelmar_VERSION_ARCH.deb, its -dbgsym package, .buildinfo and .changes, and the source
# package (kelmar_VERSION.dsc, .tar.xz) in OUT_DIR.
# DEB_BUILD_OPTIONS passes through: "nocheck" leaves the tests out of the package's build.
# Fails when the build fails or lintian reports an error or a warning.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
tree=$out/kelmar-$version
rm -rf "$tree" "$out"/kelmar_"$version"[_.]* "$out"/kelmar-dbgsym_"$version"_*
mkdir -p "$tree"
# Everything but what builds leave behind: the package is built from the sources alone.
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' --exclude='./obj-*' \
    --exclude='./kelmar_*.deb' --exclude=./debian/.debhelper --exclude=./debian/kelmar \
    --exclude=./debian/tmp --exclude=./debian/files -cf - . | tar -C "$tree" -xf -

log=$out/build.log
echo "Building kelmar $version (log: $log)"
# The source package first, while the copy holds nothing a build made.
if ! (cd "$out" && dpkg-source -b "kelmar-$version") >"$log" 2>&1 ||
    ! (cd "$tree" && dpkg-buildpackage -us -uc -b) >>"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "dpkg-buildpackage failed: see $log" >&2
    exit 1
fi
rm -rf "$tree"

changes=$out/kelmar_${version}_$arch.changes
# Pedantic tags are shown; an error or a warning fails the package. The accepted exceptions
# are in debian/*.lintian-overrides, each with its reason.
lintian --pedantic --fail-on error,warning "$changes" "$out/kelmar_$version.dsc"
echo "lintian --pedantic: no error, no warning"
