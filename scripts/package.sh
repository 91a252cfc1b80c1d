#!/usr/bin/env bash
# Sets up, builds and packages Kelmar: kelmar_VERSION_amd64.deb in the repository's folder,
# ready for "apt install ./kelmar_VERSION_amd64.deb".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --package
# The package installs under /usr, and the programs are built knowing where they will live.
cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j"$(nproc)"
rm -rf build/package kelmar_*.deb
(cd build && cpack -G DEB -B "$PWD/package" >/dev/null)
mv build/package/kelmar_*.deb .
ls kelmar_*.deb
