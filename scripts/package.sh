#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and packages Kelmar: kelmar_VERSION_amd64.deb in the repository's folder,
# ready for "apt install ./kelmar_VERSION_amd64.deb". The package is built through debian/
# (dpkg-buildpackage, with the fast tests) and must pass lintian --pedantic without an error
# or a warning (scripts/build-deb.sh). The build's other outputs stay in build/deb/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --package --no-build
rm -f kelmar_*.deb
bash scripts/build-deb.sh build/deb
mv build/deb/kelmar_*.deb .
ls kelmar_*.deb
