#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One large disc image, the file a CD or DVD collection is made of: per-file zip at level 6,
# test, unzip and rezip at level 9, each against the fastest tools a user could pick, in
# interleaved rounds. Prints each tool's median time, output size and peak resident memory
# (/usr/bin/time), and Kelmar's time over the fastest other tool's.
#
#   bench/image.sh [--size MB] [--rounds R] [--work DIR]
#
# The image (default 512 MiB) is made once into DIR (default /tmp/kelmar-bench-image): raw
# 2352-byte sectors (sync, header, 2048 data bytes, error-correction bytes), runs of sectors
# holding code and graphics (repetitive with scattered changes), padding, or already
# compressed data. Info-ZIP's `zip -6` archive of it is what test, unzip and rezip read.
# Every tool runs once per round, the tools taking turns (R rounds, default 3); the median
# counts. Kelmar runs with its default number of workers unless KELMAR_JOBS is set.
set -euo pipefail
cd "$(dirname "$0")/.."

SIZE=512
ROUNDS=3
WORK=/tmp/kelmar-bench-image
source bench/common.sh
extra_option() { if [ "$1" = --size ]; then SIZE=$2; EXTRA_TAKEN=2; fi; }
parse_args 15 "$@"
find_cli
need_tools zip unzip 7zz python3 /usr/bin/time

SRC="$WORK/src"
IMG="$SRC/disc.bin"
ZIPPED="$WORK/disc.zip"
OUT="$WORK/out"
if [ ! -f "$WORK/.image-$SIZE" ]; then
  rm -rf "$WORK"; mkdir -p "$SRC"
  echo "Generating a $SIZE MiB image in $IMG ..." >&2
  python3 - "$IMG" "$SIZE" <<'PY'
import random, sys
out, mb = sys.argv[1], int(sys.argv[2])
rng = random.Random(2048)
def noise(n): return rng.getrandbits(8 * n).to_bytes(n, 'little')
sync = bytes([0] + [0xff] * 10 + [0])
total, written, lba = mb << 20, 0, 0
with open(out, 'wb') as f:
    while written < total:
        run, kind = rng.randint(64, 4096), rng.random()
        if kind < 0.45:
            block = noise(rng.randint(64, 1024))
            base = block * (2048 // len(block) + 2)
        sectors = []
        for s in range(run):
            header = sync + bytes([lba // 4500, (lba // 75) % 60, lba % 75, 1])
            if kind < 0.45:
                d = bytearray(base[(s * 7) % len(block):][:2048])
                for _ in range(24):
                    d[rng.randrange(2048)] = rng.randrange(256)
                data, ecc = bytes(d), noise(276)
            elif kind < 0.65:
                data, ecc = bytes(2048), bytes(276)
            else:
                data, ecc = noise(2048), noise(276)
            sectors.append(header + data + noise(4) + bytes(8) + ecc)
            lba += 1
        chunk = b''.join(sectors)[:total - written]
        f.write(chunk)
        written += len(chunk)
PY
  (cd "$SRC" && zip -q -6 -X "$ZIPPED" disc.bin)
  touch "$WORK/.image-$SIZE"
fi
kelmar_command "$WORK"

zip_kelmar() { "${K[@]}" zip --to "$OUT" "${ZIP6_FLAGS[@]}" "$IMG"; }
zip_zip() { (cd "$SRC" && zip -q -6 -X "$OUT/disc.zip" disc.bin); }
zip_7zz() { (cd "$SRC" && 7zz a -tzip -mx=5 -mmt=2 -bd "$OUT/disc.zip" disc.bin); }
test_kelmar() { "${K[@]}" test --no-password "$ZIPPED"; }
test_7zz() { 7zz t -bd -pnone "$ZIPPED"; }
test_unzip() { unzip -tqq "$ZIPPED"; }
unzip_kelmar() { "${K[@]}" unzip --to "$OUT" "$ZIPPED"; }
unzip_7zz() { 7zz x -y -bd -o"$OUT" "$ZIPPED"; }
unzip_unzip() { unzip -qq -d "$OUT" "$ZIPPED"; }
rezip_kelmar() { cp "$ZIPPED" "$OUT/disc.zip" && "${K[@]}" rezip --level 9 --no-password "$OUT/disc.zip"; }
rezip_zip() { (cd "$SRC" && zip -q -9 -X "$OUT/disc.zip" disc.bin); }

# run FN: one timed run into an emptied output folder; prints seconds, output bytes, peak KiB.
run() {
  local fn=$1
  rm -rf "$OUT"; mkdir -p "$OUT"; sync
  /usr/bin/time -o "$WORK/time.txt" -f "%e %M" bash -c "$(declare -f "$fn"); $(declare -p SRC IMG ZIPPED OUT K ZIP6_FLAGS); $fn" >/dev/null 2>"$WORK/err.txt" \
    || { echo "$fn failed: $(tail -3 "$WORK/err.txt")" >&2; exit 1; }
  case $fn in zip_*|rezip_*)
    unzip -tqq "$OUT/disc.zip" >/dev/null || { echo "$fn: the archive is bad" >&2; exit 1; } ;;
  esac
  read -r t m <"$WORK/time.txt"
  echo "$fn $t $(du -sb "$OUT" | cut -f1) $m"
}

FNS=(zip_kelmar zip_zip zip_7zz test_kelmar test_7zz test_unzip unzip_kelmar unzip_7zz
     unzip_unzip rezip_kelmar rezip_zip)
RESULTS=()
for ((r = 1; r <= ROUNDS; r++)); do
  echo "  round $r ..." >&2
  for fn in "${FNS[@]}"; do RESULTS+=("$(run "$fn")"); done
done
rm -rf "$OUT"

python3 - "$(stat -c %s "$IMG")" "$(nproc)" "${KELMAR_JOBS:-default}" "${RESULTS[@]}" <<'PY'
import statistics, sys
size, cpus, jobs = int(sys.argv[1]), sys.argv[2], sys.argv[3]
runs = {}
for a in sys.argv[4:]:
    fn, t, out, rss = a.split()
    runs.setdefault(fn, []).append((float(t), int(out), int(rss)))
names = {"zip_kelmar": "kelmar-cli zip --to", "zip_zip": "zip -6", "zip_7zz": "7zz a -tzip -mx=5 -mmt=2",
         "test_kelmar": "kelmar-cli test", "test_7zz": "7zz t", "test_unzip": "unzip -t",
         "unzip_kelmar": "kelmar-cli unzip --to", "unzip_7zz": "7zz x", "unzip_unzip": "unzip",
         "rezip_kelmar": "kelmar-cli rezip --level 9", "rezip_zip": "zip -9 (of the image)"}
jobs_ = [("zip, level 6", "zip_kelmar", ["zip_zip", "zip_7zz"], 0.5),
         ("test", "test_kelmar", ["test_7zz", "test_unzip"], None),
         ("unzip", "unzip_kelmar", ["unzip_7zz", "unzip_unzip"], None),
         ("rezip at level 9", "rezip_kelmar", ["rezip_zip"], None)]
mb = size / 2**20
med = lambda fn: statistics.median(t for t, _, _ in runs[fn])
print(f"Image: {mb:.0f} MiB; {cpus} CPUs; kelmar-cli workers: {jobs}; medians of {len(runs['zip_kelmar'])} rounds")
print(f"{'tool':<30}{'seconds':>9}{'MiB/s':>8}{'output bytes':>14}{'peak MiB':>10}")
for title, k, peers, goal in jobs_:
    print(f"-- {title}")
    for fn in [k] + peers:
        t = med(fn)
        out = runs[fn][-1][1]
        rss = max(r for _, _, r in runs[fn])
        shown = f"{out:14d}" if not fn.startswith("test") else f"{'':14}"
        print(f"{names[fn]:<30}{t:9.2f}{mb / t:8.0f}{shown}{rss / 1024:10.1f}")
    ratio = med(k) / min(med(p) for p in peers)
    verdict = f" (goal <= {goal}: {'met' if ratio <= goal else 'missed'})" if goal else ""
    print(f"   kelmar / fastest peer: {ratio:.2f}{verdict}")
print(f"   zip output over Info-ZIP's: {runs['zip_kelmar'][-1][1] / runs['zip_zip'][-1][1] - 1:+.3%}")
PY
