#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli unzip" against "unzip -qq" and "7zz x", and "kelmar-cli space" against
# "zipinfo -t", on the ROM-like corpus of bench/run.sh, in the same run, and prints the ratios.
#
#   bench/unzip.sh [--count N] [--max-mb M] [--rounds R] [--many K] [--work DIR]
#
# Listing is measured twice: on the corpus, and on MANY small archives (default 5000, a
# folder of a cartridge set), where opening archives is all the work there is.
#
# Every tool extracts all archives of the corpus into one empty folder (emptied before each
# run, outside the timing): kelmar-cli unzip --to OUT DIR, unzip -qq -o '*.zip' -d OUT (one
# call, quoted wildcard), 7zz x -y -oOUT 'DIR/*.zip'. The tools take turns: one warm-up
# round, then R timed rounds (default 3); each tool's best time counts.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=300
MAX_MB=32
ROUNDS=3
MANY=5000
WORK=/tmp/kelmar-bench
source bench/common.sh
extra_option() {
  case "$1" in
    --many) MANY=$2; EXTRA_TAKEN=2 ;;
  esac
}
parse_args 14 "$@"
find_cli
need_tools zip unzip zipinfo 7zz python3

make_corpus "$WORK" "$COUNT" "$MAX_MB"

ZIPS="$WORK/zips"
SMALL="$WORK/many-$MANY"
if [ ! -d "$SMALL" ]; then
  echo "Generating $MANY small archives in $SMALL ..." >&2
  python3 - "$SMALL.tmp" "$MANY" <<'PY'
import os, random, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder, exist_ok=True)
rng = random.Random(2024)
for i in range(count):
    with zipfile.ZipFile(os.path.join(folder, f"game{i:05d}.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(f"game{i:05d}.nes", rng.randbytes(rng.randint(64, 4096)) + bytes(8192))
        if i % 3 == 0:
            z.writestr("readme.txt", "dumped by the bench\n" * 10)
PY
  mv "$SMALL.tmp" "$SMALL"
fi
OUT="$WORK/out"
N=$(ls "$ZIPS" | wc -l)
UNPACKED=$(du -sb "$WORK/src" | cut -f1)
trap 'rm -rf "$OUT"' EXIT

# Settings of a fresh user, so saved options play no part.
export XDG_CONFIG_HOME="$WORK/config"

fresh() { rm -rf "$OUT"; mkdir -p "$OUT"; sync; }
run_kelmar() { "$CLI" unzip --to "$OUT" "$ZIPS" >/dev/null 2>&1; }
run_unzip() { (cd "$ZIPS" && unzip -qq -o '*.zip' -d "$OUT") >/dev/null 2>&1; }
run_7zz() { 7zz x -y -bd -o"$OUT" "$ZIPS/*.zip" >/dev/null 2>&1; }
run_space() { "$CLI" space "$ZIPS" >/dev/null 2>&1; }
run_zipinfo() { zipinfo -t "$ZIPS/*.zip" >/dev/null 2>&1; }
run_space_many() { "$CLI" space "$SMALL" >/dev/null 2>&1; }
run_zipinfo_many() { zipinfo -t "$SMALL/*.zip" >/dev/null 2>&1; }

# The tools take turns, round after round, so that load from elsewhere on the machine falls
# on all of them alike. Round 0 warms the page cache (and checks that each tool succeeds and
# extracts as many files as Kelmar); the best of the timed rounds counts.
declare -A BEST
timed() {
  local fn=$1 round=$2 t0 t1
  t0=$(date +%s.%N); $fn || { echo "$fn failed" >&2; exit 1; }; t1=$(date +%s.%N)
  if ((round > 0)); then
    BEST[$fn]=$(python3 -c "t=$t1-$t0; b='${BEST[$fn]:-}'; print(min(t, float(b)) if b else t)")
  fi
}
KFILES=""
for ((r = 0; r <= ROUNDS; r++)); do
  for fn in run_kelmar run_unzip run_7zz; do
    fresh
    timed $fn $r
    files=$(find "$OUT" -type f | wc -l)
    [ -z "$KFILES" ] && KFILES=$files
    [ "$files" = "$KFILES" ] || { echo "$fn extracted $files files, kelmar $KFILES" >&2; exit 1; }
  done
  for fn in run_space run_zipinfo run_space_many run_zipinfo_many; do timed $fn $r; done
done
K=${BEST[run_kelmar]} U=${BEST[run_unzip]} S=${BEST[run_7zz]}
KS=${BEST[run_space]} ZI=${BEST[run_zipinfo]}
KM=${BEST[run_space_many]} ZM=${BEST[run_zipinfo_many]}
SPACE=$("$CLI" space "$ZIPS")
python3 - "$N" "$UNPACKED" "$K" "$U" "$S" "$KS" "$ZI" "$(nproc)" "$SPACE" "$KM" "$ZM" "$MANY" <<'PY'
import sys
n, unpacked = int(sys.argv[1]), int(sys.argv[2])
k, u, s, ks, zi = (float(x) for x in sys.argv[3:8])
cpus, space = sys.argv[8], sys.argv[9]
km, zm, many = float(sys.argv[10]), float(sys.argv[11]), int(sys.argv[12])
mb = unpacked / 2**20
print(f"Corpus: {n} archives, {mb:.0f} MiB unpacked; {cpus} CPUs; kelmar-cli space: {space}")
print(f"{'tool':<30}{'seconds':>9}{'MiB/s':>9}{'vs kelmar':>11}")
for name, t in (("kelmar-cli unzip --to", k), ("unzip -qq '*.zip' -d", u), ("7zz x (one run)", s)):
    print(f"{name:<30}{t:9.2f}{mb / t:9.0f}{t / k:10.2f}x")
fastest = min(u, s)
print(f"unzip: kelmar / fastest other: {k / fastest:.2f} ({'no slower' if k <= fastest * 1.02 else 'slower'})")
print(f"{'kelmar-cli space':<30}{ks:9.3f}{'':>9}{1:10.2f}x")
print(f"{'zipinfo -t (one run)':<30}{zi:9.3f}{'':>9}{zi / ks:10.2f}x")
print(f"space: kelmar / zipinfo -t: {ks / zi:.2f} ({'no slower' if ks <= zi * 1.02 else 'slower'})")
print(f"{'kelmar-cli space, ' + str(many) + ' small':<30}{km:9.3f}{'':>9}{1:10.2f}x")
print(f"{'zipinfo -t, ' + str(many) + ' small':<30}{zm:9.3f}{'':>9}{zm / km:10.2f}x")
print(f"space on {many} small archives: kelmar / zipinfo -t: {km / zm:.2f}")
PY
