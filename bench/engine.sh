#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The archive engine against the fastest tools a user could pick, multi-threaded ones
# included, on one ROM-like corpus in one run: per-file zip, one archive, test and unzip.
# Prints each tool's time, MiB/s (of unpacked data), output size and peak resident memory
# (/usr/bin/time), and Kelmar's time over the fastest other tool's.
#
#   bench/engine.sh [--count N] [--max-mb M] [--rounds R] [--work DIR] [--big]
#
# The corpus is bench/zip.sh's (N files, default 120, up to M MiB, default 8), made once
# into DIR (default /tmp/kelmar-bench-zip) with one Info-ZIP archive per file (zip -6) in
# DIR/zips for the test and unzip jobs. Each tool runs R times (default 2) into an emptied
# output folder; the best time and the highest peak memory count. Kelmar runs with its
# default number of workers (one per core) unless KELMAR_JOBS is set.
# --big also zips and tests one archive holding a 4.5 GiB entry (a sparse file) and reports
# Kelmar's peak memory for it.
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=120
MAX_MB=8
ROUNDS=2
WORK=/tmp/kelmar-bench-zip
BIG=0
source bench/common.sh
extra_option() {
  case "$1" in
    --big) BIG=1; EXTRA_TAKEN=1 ;;
  esac
}
parse_args 17 "$@"
find_cli
need_tools zip unzip 7zz advzip python3 xargs /usr/bin/time

# The corpus of bench/zip.sh, and Info-ZIP archives of it.
make_zip_corpus "$WORK" "$COUNT" "$MAX_MB"
SRC="$WORK/src"
ZIPS="$WORK/zips6"
OUT="$WORK/out"
if [ ! -f "$ZIPS/.done" ]; then
  rm -rf "$ZIPS"; mkdir -p "$ZIPS"
  (cd "$SRC" && for f in *; do zip -q -6 -X "$ZIPS/${f%.*}.zip" "$f"; done)
  touch "$ZIPS/.done"
fi
cat "$SRC"/* "$ZIPS"/*.zip >/dev/null
N=$(ls "$SRC" | wc -l)
UNPACKED=$(du -sb "$SRC" | cut -f1)
kelmar_command "$WORK"

zip_kelmar_each() { "${K[@]}" zip --to "$OUT" "${ZIP6_FLAGS[@]}" "$SRC"; }
zip_xargs_each() { (cd "$SRC" && ls | sed 's/\.[^.]*$//' | paste -d'\n' - <(ls) | xargs -d'\n' -n2 -P2 sh -c 'zip -q -6 -X "$0/$1.zip" "$2"' "$OUT"); }
zip_python_each() { python3 -c "$PY_ZIP" "$SRC" "$OUT" each; }
one_kelmar() { "${K[@]}" zip --single "$OUT/all.zip" "${ZIP6_FLAGS[@]}" "$SRC"; }
one_7zz() { 7zz a -tzip -mx=5 -bd "$OUT/all.zip" "$SRC/*"; }
one_zip() { (cd "$SRC" && zip -q -6 -X "$OUT/all.zip" -- *); }
test_kelmar() { "${K[@]}" test --no-password "$ZIPS"; }
test_7zz() { 7zz t -bd -pnone "$ZIPS/*.zip"; }
test_unzip() { (cd "$ZIPS" && for z in *.zip; do unzip -tqq "$z" || exit 1; done); }
test_advzip() { advzip -t -q "$ZIPS"/*.zip; }
unzip_kelmar() { "${K[@]}" unzip --to "$OUT" "$ZIPS"; }
unzip_7zz() { 7zz x -y -bd -o"$OUT" "$ZIPS/*.zip"; }

# measure FN: best seconds, output bytes and the highest peak RSS (KiB) of R runs.
measure() {
  local fn=$1 best="" rss=0 size=0 r
  for ((r = 0; r < ROUNDS; r++)); do
    rm -rf "$OUT"; mkdir -p "$OUT"; sync
    /usr/bin/time -o "$WORK/time.txt" -f "%e %M" bash -c "$(declare -f "$fn"); $(declare -p SRC ZIPS OUT K ZIP6_FLAGS PY_ZIP 2>/dev/null); $fn" >/dev/null 2>"$WORK/err.txt" \
      || { echo "$fn failed: $(tail -3 "$WORK/err.txt")" >&2; exit 1; }
    read -r t m <"$WORK/time.txt"
    best=$(python3 -c "b='$best'; print(min($t, float(b)) if b else $t)")
    ((m > rss)) && rss=$m
    size=$(du -sb "$OUT" | cut -f1)
  done
  case $fn in zip_*|one_*)
    (cd "$OUT" && for z in *.zip; do unzip -tqq "$z" >/dev/null || { echo "$fn: $z is bad" >&2; exit 1; }; done) ;;
  esac
  echo "$fn $best $size $rss"
}

RESULTS=()
for fn in zip_kelmar_each zip_xargs_each zip_python_each one_kelmar one_7zz one_zip \
          test_kelmar test_7zz test_unzip test_advzip unzip_kelmar unzip_7zz; do
  echo "  $fn ..." >&2
  RESULTS+=("$(measure $fn)")
done
rm -rf "$OUT"

python3 - "$N" "$UNPACKED" "$(nproc)" "${KELMAR_JOBS:-default}" "${RESULTS[@]}" <<'PY'
import sys
n, unpacked, cpus, jobs = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
res = {}
for a in sys.argv[5:]:
    fn, t, size, rss = a.split()
    res[fn] = (float(t), int(size), int(rss))
names = {
    "zip_kelmar_each": "kelmar-cli zip --to", "zip_xargs_each": "xargs -P2 zip -6",
    "zip_python_each": "python zipfile", "one_kelmar": "kelmar-cli zip --single",
    "one_7zz": "7zz a -tzip -mx=5 (threads)", "one_zip": "zip -6",
    "test_kelmar": "kelmar-cli test", "test_7zz": "7zz t", "test_unzip": "unzip -t (loop)",
    "test_advzip": "advzip -t", "unzip_kelmar": "kelmar-cli unzip --to", "unzip_7zz": "7zz x",
}
jobs_ = [("zip one archive per file, level 6", "zip_kelmar_each", ["zip_xargs_each", "zip_python_each"], 0.45),
         ("zip all into one archive, level 6", "one_kelmar", ["one_7zz", "one_zip"], 0.30),
         ("test archives", "test_kelmar", ["test_7zz", "test_unzip", "test_advzip"], 0.3),
         ("unzip archives", "unzip_kelmar", ["unzip_7zz"], 0.35)]
mb = unpacked / 2**20
print(f"Corpus: {n} files, {mb:.0f} MiB; {cpus} CPUs; kelmar-cli workers: {jobs}")
print(f"{'tool':<30}{'seconds':>9}{'MiB/s':>8}{'output MiB':>12}{'peak MiB':>10}")
for title, k, peers, goal in jobs_:
    print(f"-- {title}")
    for fn in [k] + peers:
        t, size, rss = res[fn]
        out = f"{size / 2**20:12.2f}" if fn.startswith(("zip", "one", "unzip")) else f"{'':12}"
        print(f"{names[fn]:<30}{t:9.2f}{mb / t:8.0f}{out}{rss / 1024:10.1f}")
    fastest = min(res[p][0] for p in peers)
    ratio = res[k][0] / fastest
    print(f"   kelmar / fastest peer: {ratio:.2f} (goal <= {goal}: {'met' if ratio <= goal else 'missed'})")
PY

if ((BIG)); then
  BIGDIR="$WORK/big"
  rm -rf "$BIGDIR"; mkdir -p "$BIGDIR/src" "$BIGDIR/out"
  truncate -s 4608M "$BIGDIR/src/disc.iso"   # 4.5 GiB, sparse: quick to make, quick to read
  echo "  4.5 GiB entry ..." >&2
  /usr/bin/time -o "$WORK/time.txt" -f "%e %M" "${K[@]}" zip --to "$BIGDIR/out" "${ZIP6_FLAGS[@]}" "$BIGDIR/src" >/dev/null
  read -r tz mz <"$WORK/time.txt"
  /usr/bin/time -o "$WORK/time.txt" -f "%e %M" "${K[@]}" test --no-password "$BIGDIR/out" >/dev/null
  read -r tt mt <"$WORK/time.txt"
  unzip -tqq "$BIGDIR/out/disc.zip" >/dev/null
  echo "4.5 GiB entry: zip ${tz} s, peak $((mz / 1024)) MiB; test ${tt} s, peak $((mt / 1024)) MiB"
  rm -rf "$BIGDIR"
fi
