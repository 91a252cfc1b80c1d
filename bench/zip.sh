#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli zip" (one archive per file, and all into one) at level 6 against
# Info-ZIP "zip -6" (a loop of one call per file, and one call for all), "7zz a -tzip -mx=5"
# (all into one; its own thread count, and -mmt=1) and Python's zipfile (per file and all
# into one, level 6), in one run, and prints time, MiB/s and the total size written.
#
#   bench/zip.sh [--count N] [--max-mb M] [--rounds R] [--work DIR]
#
# The corpus (N files, default 120, sizes from 16 KiB to M MiB, default 8; random, padded
# and repetitive data mixed as in cartridge and disc dumps) is generated once into DIR
# (default /tmp/kelmar-bench-zip) and reused while its parameters stay the same. The corpus
# is read once to warm the page cache; then each tool runs R times (default 2), the best
# time counts. Output goes to DIR/out, emptied before every run.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=120
MAX_MB=8
ROUNDS=2
WORK=/tmp/kelmar-bench-zip
source bench/common.sh
parse_args 14 "$@"
find_cli
need_tools zip 7zz python3

SRC="$WORK/src"
OUT="$WORK/out"
make_zip_corpus "$WORK" "$COUNT" "$MAX_MB"
cat "$SRC"/* >/dev/null

N=$(ls "$SRC" | wc -l)
UNPACKED=$(du -sb "$SRC" | cut -f1)
SETTINGS="$WORK/empty.ini"
: >"$SETTINGS"

run_kelmar_each() { "$CLI" --settings "$SETTINGS" zip --to "$OUT" "${ZIP6_FLAGS[@]}" "$SRC" >/dev/null 2>&1; }
run_kelmar_one() { "$CLI" --settings "$SETTINGS" zip --single "$OUT/all.zip" "${ZIP6_FLAGS[@]}" "$SRC" >/dev/null 2>&1; }
run_zip_each() { (cd "$SRC" && for f in *; do zip -q -6 -X "$OUT/${f%.*}.zip" "$f" || exit 1; done); }
run_zip_one() { (cd "$SRC" && zip -q -6 -X "$OUT/all.zip" -- *); }
run_7zz_one() { 7zz a -tzip -mx=5 -bd "$OUT/all.zip" "$SRC/*" >/dev/null; }
run_7zz_one_st() { 7zz a -tzip -mx=5 -mmt=1 -bd "$OUT/all.zip" "$SRC/*" >/dev/null; }
run_python_each() { python3 -c "$PY_ZIP" "$SRC" "$OUT" each; }
run_python_one() { python3 -c "$PY_ZIP" "$SRC" "$OUT" one; }

# best FN: the best of R runs, each into an emptied output folder; prints "seconds bytes".
best() {
  local fn=$1 best="" size=0
  for ((r = 0; r < ROUNDS; r++)); do
    rm -rf "$OUT"; mkdir -p "$OUT"
    local t0 t1
    t0=$(date +%s.%N); $fn || { echo "$fn failed" >&2; exit 1; }; t1=$(date +%s.%N)
    best=$(python3 -c "t=$t1-$t0; b='$best'; print(min(t, float(b)) if b else t)")
    size=$(du -sb "$OUT" | cut -f1)
  done
  # Every archive written must be sound.
  (cd "$OUT" && for z in *.zip; do unzip -tqq "$z" >/dev/null || { echo "$fn: $z is bad" >&2; exit 1; }; done)
  echo "$best $size"
}

declare -A RESULT
for fn in run_kelmar_each run_zip_each run_python_each run_kelmar_one run_zip_one run_7zz_one_st run_7zz_one run_python_one; do
  echo "  $fn ..." >&2
  RESULT[$fn]=$(best $fn)
done
rm -rf "$OUT"

python3 - "$N" "$UNPACKED" "$(nproc)" \
  "${RESULT[run_kelmar_each]}" "${RESULT[run_zip_each]}" "${RESULT[run_python_each]}" \
  "${RESULT[run_kelmar_one]}" "${RESULT[run_zip_one]}" "${RESULT[run_7zz_one_st]}" \
  "${RESULT[run_7zz_one]}" "${RESULT[run_python_one]}" <<'PY'
import sys
n, unpacked, cpus = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
vals = [tuple(map(float, a.split())) for a in sys.argv[4:]]
names = ["kelmar-cli zip --to (per file)", "zip -6 (loop, per file)", "python zipfile (per file)",
         "kelmar-cli zip --single", "zip -6 (one call)", "7zz a -tzip -mx=5 -mmt=1",
         "7zz a -tzip -mx=5 (threads)", "python zipfile (one)"]
mb = unpacked / 2**20
print(f"Corpus: {n} files, {mb:.0f} MiB; {cpus} CPUs; level 6 (7zz -mx=5)")
print(f"{'tool':<32}{'seconds':>9}{'MiB/s':>8}{'output MiB':>12}{'ratio':>8}")
for name, (t, size) in zip(names, vals):
    print(f"{name:<32}{t:9.2f}{mb / t:8.1f}{size / 2**20:12.2f}{size / unpacked:8.4f}")
k_each, z_each, p_each = vals[0], vals[1], vals[2]
fastest_st = min(z_each[0], p_each[0], vals[5][0])
print(f"per file: kelmar / fastest single-threaded peer = {k_each[0] / fastest_st:.2f}; "
      f"output vs zip -6 = {k_each[1] / z_each[1] - 1:+.2%}")
k_one, z_one = vals[3], vals[4]
print(f"one archive: kelmar / zip -6 = {k_one[0] / z_one[0]:.2f}; "
      f"output vs zip -6 = {k_one[1] / z_one[1] - 1:+.2%}")
PY
