#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli test" against "7zz t" on archives compressed with Deflate64 and with
# LZMA, the two methods Kelmar decodes most often that libzip cannot, in the same run.
#
#   bench/methods.sh [--count N] [--max-mb M] [--rounds R] [--work DIR]
#
# The files of bench/run.sh's ROM-like corpus (defaults here: 100 files up to 16 MiB) are
# zipped one archive per file by 7-Zip, once with -mm=Deflate64 and once with -mm=LZMA (made
# once per set of parameters). Each tool tests each folder: kelmar-cli test DIR and
# 7zz t 'DIR/*.zip' (single-threaded decoding either way: one archive after another). The
# tools take turns: one warm-up round, then R timed rounds (default 3); the best time counts.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=100
MAX_MB=16
ROUNDS=3
WORK=/tmp/kelmar-bench-methods
source bench/common.sh
parse_args 11 "$@"
find_cli
need_tools zip 7zz python3

make_corpus "$WORK" "$COUNT" "$MAX_MB"
UNPACKED=$(du -sb "$WORK/src" | cut -f1)
for method in Deflate64 LZMA; do
  dir="$WORK/$method"
  if [ ! -f "$dir/.done" ]; then
    echo "Zipping one archive per file with 7-Zip, $method ..." >&2
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$WORK/src" && for f in *; do
      7zz a -tzip -bd -mm="$method" "../$method/${f%.*}.zip" "$f" >/dev/null
    done)
    touch "$dir/.done"
  fi
done

export XDG_CONFIG_HOME="$WORK/config"
declare -A BEST
timed() {
  local name=$1 round=$2 t0 t1
  shift 2
  t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || { echo "$name failed" >&2; exit 1; }; t1=$(date +%s.%N)
  if ((round > 0)); then
    BEST[$name]=$(python3 -c "t=$t1-$t0; b='${BEST[$name]:-}'; print(min(t, float(b)) if b else t)")
  fi
}
for ((r = 0; r <= ROUNDS; r++)); do
  for method in Deflate64 LZMA; do
    timed "kelmar-$method" $r "$CLI" test "$WORK/$method"
    timed "7zz-$method" $r 7zz t -bd "$WORK/$method/*.zip"
  done
done
python3 - "$UNPACKED" "$COUNT" "$(nproc)" "${BEST[kelmar-Deflate64]}" "${BEST[7zz-Deflate64]}" \
  "${BEST[kelmar-LZMA]}" "${BEST[7zz-LZMA]}" <<'PY'
import sys
unpacked, count, cpus = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
kd, sd, kl, sl = (float(x) for x in sys.argv[4:8])
mb = unpacked / 2**20
print(f"Corpus: {count} archives per method, {mb:.0f} MiB unpacked; {cpus} CPUs")
print(f"{'tool':<30}{'seconds':>9}{'MiB/s':>9}{'vs kelmar':>11}")
for method, k, s in (("Deflate64", kd, sd), ("LZMA", kl, sl)):
    print(f"{'kelmar-cli test, ' + method:<30}{k:9.2f}{mb / k:9.0f}{1:10.2f}x")
    print(f"{'7zz t (one run), ' + method:<30}{s:9.2f}{mb / s:9.0f}{s / k:10.2f}x")
PY
