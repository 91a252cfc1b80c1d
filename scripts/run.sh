#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Kelmar. Without a display it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Kelmar under xvfb-run." >&2
  exec xvfb-run -a build/src/kelmar "$@"
fi
exec build/src/kelmar "$@"
