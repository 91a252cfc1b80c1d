#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Select all plus the counter on 30,000 files, against stat-ing them all with find -printf
# (the floor: one stat per file and nothing else). Run from the repository after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${N:-30000}
RUNS=${RUNS:-9}
dir=$(mktemp -d /tmp/kelmar-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir" "$N" <<'PY'
import os, sys, random
d, n = sys.argv[1], int(sys.argv[2])
random.seed(1)
for i in range(n):
    with open(os.path.join(d, f"Game {i:05d} (World).nes"), "wb") as f:
        f.truncate(random.randint(8_192, 1_048_576))
PY
build/bench/select_count "$dir" "$RUNS"
times=()
for _ in $(seq "$RUNS"); do
  s=$(date +%s%N)
  find "$dir" -maxdepth 1 -type f -printf '%s\n' >/dev/null
  e=$(date +%s%N)
  times+=($(( (e - s) / 1000 )))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "find -printf '%s': median $(echo "$sorted" | sed -n "$(( (RUNS + 1) / 2 ))p" | awk '{printf "%.1f", $1/1000}') ms ($RUNS runs)"
