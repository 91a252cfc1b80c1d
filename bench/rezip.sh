#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times "kelmar-cli rezip --level 9" against Python's zipfile (read every entry and write
# it into a new archive at level 9), "advzip -z -2" and 7-Zip (extract each archive and add
# its files to a new one with -mx=9, single-threaded), in one run, and prints each one's
# time, MiB/s (of unpacked data) and the total size of the archives it leaves.
#
#   bench/rezip.sh [--count N] [--max-mb M] [--rounds R] [--work DIR]
#
# The corpus is the ROM-like one of bench/run.sh (N files, default 60, up to M MiB, default
# 8), zipped one archive per file with Info-ZIP at its default level, made once into DIR
# (default /tmp/kelmar-bench-rezip). Before each run the archives are copied afresh into
# DIR/out (outside the timing); each tool then rebuilds every archive there in place. The
# tools take turns for R rounds (default 2); each tool's best time counts. Every archive
# left by each tool must pass "unzip -t".
set -euo pipefail
cd "$(dirname "$0")/.."

COUNT=60
MAX_MB=8
ROUNDS=2
WORK=/tmp/kelmar-bench-rezip
source bench/common.sh
parse_args 15 "$@"
find_cli
need_tools zip unzip advzip 7zz python3

make_corpus "$WORK" "$COUNT" "$MAX_MB"
ZIPS="$WORK/zips"
OUT="$WORK/out"
N=$(ls "$ZIPS" | wc -l)
UNPACKED=$(du -sb "$WORK/src" | cut -f1)
PACKED=$(du -cb "$ZIPS"/*.zip | tail -1 | cut -f1)
trap 'rm -rf "$OUT" "$WORK/x"' EXIT
export XDG_CONFIG_HOME="$WORK/config"

fresh() { rm -rf "$OUT"; cp -r "$ZIPS" "$OUT"; sync; }
run_kelmar() { "$CLI" rezip --level 9 --no-password "$OUT" >/dev/null 2>&1; }
run_python() {
  python3 - "$OUT" <<'PY'
import os, sys, zipfile
folder = sys.argv[1]
for name in sorted(os.listdir(folder)):
    path = os.path.join(folder, name)
    temp = os.path.join(folder, "." + name + ".tmp")
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(temp, "w", zipfile.ZIP_DEFLATED,
                                                        compresslevel=9) as new:
        for info in old.infolist():
            if info.is_dir():
                continue
            entry = zipfile.ZipInfo(os.path.basename(info.filename), info.date_time)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = info.external_attr
            with old.open(info) as src, new.open(entry, "w") as dst:
                while True:
                    block = src.read(1 << 16)
                    if not block:
                        break
                    dst.write(block)
    os.replace(temp, path)
PY
}
run_advzip() { advzip -q -z -2 "$OUT"/*.zip >/dev/null 2>&1; }
run_7zz() {
  local z
  for z in "$OUT"/*.zip; do
    rm -rf "$WORK/x"; mkdir -p "$WORK/x"
    7zz x -y -bd -o"$WORK/x" "$z" >/dev/null || return 1
    rm -f "$WORK/x.zip"
    (cd "$WORK/x" && 7zz a -tzip -mx=9 -mmt=1 -bd "$WORK/x.zip" . >/dev/null) || return 1
    mv -f "$WORK/x.zip" "$z"
  done
}

# Wall time and processor time (user + system, the tool's processes together): on a machine
# shared with other work the second is the steadier figure.
export -f run_kelmar run_python run_advzip run_7zz
export CLI OUT WORK
measure() {
  python3 -c '
import resource, subprocess, sys, time
t = time.monotonic()
ok = subprocess.run(["bash", "-c", sys.argv[1]]).returncode == 0
wall = time.monotonic() - t
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{wall:.3f} {ru.ru_utime + ru.ru_stime:.3f}" if ok else "fail")' "$1"
}
declare -A BEST CPU SIZE
for ((r = 1; r <= ROUNDS; r++)); do
  for fn in run_kelmar run_python run_advzip run_7zz; do
    fresh
    read -r wall cpu < <(measure $fn)
    [ "$wall" != fail ] || { echo "$fn failed" >&2; exit 1; }
    BEST[$fn]=$(python3 -c "t=$wall; b='${BEST[$fn]:-}'; print(min(t, float(b)) if b else t)")
    CPU[$fn]=$(python3 -c "t=$cpu; b='${CPU[$fn]:-}'; print(min(t, float(b)) if b else t)")
    SIZE[$fn]=$(du -cb "$OUT"/*.zip | tail -1 | cut -f1)
    if ((r == 1)); then
      for z in "$OUT"/*.zip; do
        unzip -tqq "$z" >/dev/null || { echo "$fn left a bad archive: $z" >&2; exit 1; }
      done
    fi
  done
done
python3 - "$N" "$UNPACKED" "$PACKED" "$(nproc)" \
  "${BEST[run_kelmar]}" "${CPU[run_kelmar]}" "${SIZE[run_kelmar]}" \
  "${BEST[run_python]}" "${CPU[run_python]}" "${SIZE[run_python]}" \
  "${BEST[run_advzip]}" "${CPU[run_advzip]}" "${SIZE[run_advzip]}" \
  "${BEST[run_7zz]}" "${CPU[run_7zz]}" "${SIZE[run_7zz]}" <<'PY'
import sys
n, unpacked, packed, cpus = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
names = ["kelmar-cli rezip --level 9", "python zipfile, level 9", "advzip -z -2",
         "7zz x + 7zz a -mx=9 -mmt=1"]
rows = [(names[i], float(sys.argv[5 + 3 * i]), float(sys.argv[6 + 3 * i]),
         int(sys.argv[7 + 3 * i])) for i in range(4)]
mb = unpacked / 2**20
print(f"Corpus: {n} archives, {mb:.0f} MiB unpacked, {packed / 2**20:.2f} MiB as zipped; {cpus} CPUs")
print(f"{'tool':<30}{'seconds':>9}{'cpu s':>8}{'MiB/s':>8}{'output MiB':>12}{'vs kelmar':>11}")
k, kc = rows[0][1], rows[0][2]
for name, t, c, size in rows:
    print(f"{name:<30}{t:9.2f}{c:8.2f}{mb / t:8.1f}{size / 2**20:12.2f}{t / k:10.2f}x")
fastest = min(r[1] for r in rows[1:])
fastest_cpu = min(r[2] for r in rows[1:])
print(f"kelmar / fastest single-threaded peer: {k / fastest:.2f} in time, "
      f"{kc / fastest_cpu:.2f} in processor time "
      f"({'no slower' if k <= fastest * 1.02 or kc <= fastest_cpu * 1.02 else 'slower'})")
PY
