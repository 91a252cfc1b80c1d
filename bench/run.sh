#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli test" against "unzip -tqq" and "7zz t" on a ROM-like corpus of
# one-file Info-ZIP archives, in the same run, and prints the ratios.
#
#   bench/run.sh [--count N] [--max-mb M] [--rounds R] [--work DIR]
#
# The corpus (N files, default 300, sizes from 16 KiB to M MiB, default 32; random,
# padded and repetitive data mixed as in cartridge and disc dumps) is generated once into
# DIR (default /tmp/kelmar-bench) and reused while its parameters stay the same.
# Each tool runs once to warm the page cache, then R times (default 3); the best time counts.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=300
MAX_MB=32
ROUNDS=3
WORK=/tmp/kelmar-bench
source bench/common.sh
parse_args 12 "$@"
find_cli
need_tools zip unzip 7zz python3

make_corpus "$WORK" "$COUNT" "$MAX_MB"

ZIPS="$WORK/zips"
N=$(ls "$ZIPS" | wc -l)
UNPACKED=$(du -sb "$WORK/src" | cut -f1)
PACKED=$(du -sb "$ZIPS" | cut -f1)

run_kelmar() { "$CLI" test --no-password "$ZIPS" >/dev/null 2>&1; }
run_unzip() { (cd "$ZIPS" && for z in *.zip; do unzip -tqq "$z" || exit 1; done) >/dev/null 2>&1; }
run_7zz() { 7zz t -bd -pnone "$ZIPS/*.zip" >/dev/null 2>&1; }

best() {
  local fn=$1 best=""
  $fn || { echo "$fn failed" >&2; exit 1; }   # warm-up, and a check that all are good
  for ((r = 0; r < ROUNDS; r++)); do
    local t0 t1
    t0=$(date +%s.%N); $fn; t1=$(date +%s.%N)
    best=$(python3 -c "t=$t1-$t0; b='$best'; print(min(t, float(b)) if b else t)")
  done
  echo "$best"
}

K=$(best run_kelmar)
U=$(best run_unzip)
S=$(best run_7zz)
python3 - "$N" "$UNPACKED" "$PACKED" "$K" "$U" "$S" "$(nproc)" <<'PY'
import sys
n, unpacked, packed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
k, u, s, cpus = float(sys.argv[4]), float(sys.argv[5]), float(sys.argv[6]), sys.argv[7]
mb = unpacked / 2**20
print(f"Corpus: {n} archives, {mb:.0f} MiB unpacked, {packed / 2**20:.0f} MiB packed; {cpus} CPUs")
print(f"{'tool':<26}{'seconds':>9}{'MiB/s':>9}{'vs kelmar':>11}")
for name, t in (("kelmar-cli test", k), ("unzip -tqq (per archive)", u), ("7zz t (one run)", s)):
    print(f"{name:<26}{t:9.2f}{mb / t:9.0f}{t / k:10.2f}x")
fastest = min(u, s)
print(f"kelmar / fastest other: {k / fastest:.2f} ({'no slower' if k <= fastest * 1.02 else 'slower'})")
PY
