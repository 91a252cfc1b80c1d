#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli --jobs 2 rezip --torrentzip" of the rezip corpus against Info-ZIP's
# "zip -9" of the same files on one core (one archive per file, as the corpus is zipped),
# in one run, and prints each one's time, processor time and the ratio. Both deflate at
# zlib's level 9.
#
#   bench/torrentzip.sh [--count N] [--max-mb M] [--rounds R] [--work DIR] [--zip64]
#
# The corpus is bench/rezip.sh's (N files, default 60, up to M MiB, default 8), zipped one
# archive per file with Info-ZIP at its default level, made once into DIR (default
# /tmp/kelmar-bench-rezip). Before each Kelmar run the archives are copied afresh into
# DIR/out (outside the timing). The tools take turns for R rounds (default 2); the best time
# counts. Every archive Kelmar leaves must pass "unzip -t" and be TorrentZip ("test --json").
# --zip64 also zips one file of 4 GiB and a little more (sparse, zeros) with --torrentzip and
# checks the result with unzip, 7-Zip and "test --json" (it needs zip64: a size over 4 GiB).
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=60
MAX_MB=8
ROUNDS=2
WORK=/tmp/kelmar-bench-rezip
ZIP64=0
extra_option() { if [ "$1" = --zip64 ]; then ZIP64=1; EXTRA_TAKEN=1; fi; }
source bench/common.sh
parse_args 16 "$@"
find_cli
need_tools zip unzip 7zz python3

make_corpus "$WORK" "$COUNT" "$MAX_MB"
ZIPS="$WORK/zips"
OUT="$WORK/out"
N=$(ls "$ZIPS" | wc -l)
UNPACKED=$(du -sb "$WORK/src" | cut -f1)
trap 'rm -rf "$OUT" "$WORK/izip" "$WORK/big"' EXIT
export XDG_CONFIG_HOME="$WORK/config"

fresh() { rm -rf "$OUT"; cp -r "$ZIPS" "$OUT"; sync; }
run_kelmar() { "$CLI" --jobs 2 rezip --torrentzip --no-password "$OUT" >/dev/null 2>&1; }
run_infozip() {
  rm -rf "$WORK/izip"; mkdir -p "$WORK/izip"
  (cd "$WORK/src" && for f in *; do zip -q -9 -X "$WORK/izip/${f%.*}.zip" "$f" || exit 1; done)
}
export -f run_kelmar run_infozip
export CLI OUT WORK
# Wall time and processor time (user + system, the tool's processes together).
measure() {
  python3 -c '
import resource, subprocess, sys, time
t = time.monotonic()
ok = subprocess.run(["bash", "-c", sys.argv[1]]).returncode == 0
wall = time.monotonic() - t
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{wall:.3f} {ru.ru_utime + ru.ru_stime:.3f}" if ok else "fail")' "$1"
}
declare -A BEST CPU
for ((r = 1; r <= ROUNDS; r++)); do
  for fn in run_kelmar run_infozip; do
    [ $fn = run_kelmar ] && fresh
    read -r wall cpu < <(measure $fn)
    [ "$wall" != fail ] || { echo "$fn failed" >&2; exit 1; }
    BEST[$fn]=$(python3 -c "t=$wall; b='${BEST[$fn]:-}'; print(min(t, float(b)) if b else t)")
    CPU[$fn]=$(python3 -c "t=$cpu; b='${CPU[$fn]:-}'; print(min(t, float(b)) if b else t)")
  done
  if ((r == 1)); then
    for z in "$OUT"/*.zip; do
      unzip -tqq "$z" >/dev/null || { echo "kelmar left a bad archive: $z" >&2; exit 1; }
    done
    "$CLI" test --json "$OUT" | grep -q '"torrentzip": false' &&
      { echo "kelmar left an archive that is not TorrentZip" >&2; exit 1; }
  fi
done
python3 - "$N" "$UNPACKED" "$(nproc)" "${BEST[run_kelmar]}" "${CPU[run_kelmar]}" \
  "${BEST[run_infozip]}" "${CPU[run_infozip]}" <<'PY'
import sys
n, unpacked, cpus = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
k, kc, z, zc = map(float, sys.argv[4:8])
mb = unpacked / 2**20
print(f"Corpus: {n} archives, {mb:.0f} MiB unpacked; {cpus} CPUs")
print(f"{'tool':<42}{'seconds':>9}{'cpu s':>8}{'MiB/s':>8}")
print(f"{'kelmar-cli --jobs 2 rezip --torrentzip':<42}{k:9.2f}{kc:8.2f}{mb / k:8.1f}")
print(f"{'zip -9 (one core, one archive per file)':<42}{z:9.2f}{zc:8.2f}{mb / z:8.1f}")
print(f"kelmar / zip -9: {k / z:.2f} in time (goal: at most 0.60), {kc / zc:.2f} in processor time")
PY

if ((ZIP64)); then
  mkdir -p "$WORK/big"
  truncate -s $(( (4 << 30) + (64 << 20) )) "$WORK/big/huge.bin"
  t=$(date +%s)
  "$CLI" zip --torrentzip --no-password --no-info-file --single "$WORK/big/huge.zip" \
    "$WORK/big/huge.bin" >/dev/null
  echo "zip64: 4 GiB + 64 MiB zipped as TorrentZip in $(( $(date +%s) - t )) s"
  unzip -tqq "$WORK/big/huge.zip"
  7zz t "$WORK/big/huge.zip" >/dev/null && echo "zip64: 7zz t passes"
  "$CLI" test --json "$WORK/big/huge.zip" | grep -q '"torrentzip": true' &&
    echo "zip64: TorrentZip"
fi
