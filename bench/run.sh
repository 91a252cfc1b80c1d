#!/usr/bin/env bash
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
while (($#)); do
  case "$1" in
    --count) COUNT=$2; shift 2 ;;
    --max-mb) MAX_MB=$2; shift 2 ;;
    --rounds) ROUNDS=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

CLI=${KELMAR_CLI:-build/src/kelmar-cli}
if [ ! -x "$CLI" ]; then
  cmake -S . -B build >/dev/null
  cmake --build build -j2 --target kelmar-cli >/dev/null
fi
for tool in zip unzip 7zz python3; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/setup.sh)" >&2; exit 1; }
done

STAMP="$WORK/.corpus-$COUNT-$MAX_MB"
if [ ! -f "$STAMP" ]; then
  rm -rf "$WORK"
  mkdir -p "$WORK/src" "$WORK/zips"
  echo "Generating $COUNT files up to $MAX_MB MiB in $WORK ..." >&2
  python3 - "$WORK/src" "$COUNT" "$MAX_MB" <<'PY'
import os, random, sys
folder, count, max_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1987)
exts = ['nes', 'sfc', 'gba', 'md', 'n64', 'bin', 'iso', 'pce', 'gb', 'a26']
for i in range(count):
    # Mostly small cartridges, some medium, a few large images.
    r = rng.random()
    if r < 0.6:
        size = rng.randint(16 << 10, 1 << 20)
    elif r < 0.9:
        size = rng.randint(1 << 20, min(8, max_mb) << 20)
    else:
        size = rng.randint(min(8, max_mb) << 20, max_mb << 20)
    kind = rng.random()
    parts, left = [], size
    while left > 0:
        n = min(left, rng.randint(4 << 10, 256 << 10))
        k = rng.random()
        if k < kind * 0.8:            # code and graphics: repetitive
            block = os.urandom(rng.randint(64, 1024))
            parts.append((block * (n // len(block) + 1))[:n])
        elif k < kind * 0.8 + 0.15:   # padding
            parts.append(bytes([rng.choice([0x00, 0xff])]) * n)
        else:                         # compressed or encrypted data
            parts.append(os.urandom(n))
        left -= n
    name = 'Game %04d (%s).%s' % (i, rng.choice(['USA', 'Europe', 'Japan', 'World']), rng.choice(exts))
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(b''.join(parts))
PY
  echo "Zipping one archive per file with Info-ZIP ..." >&2
  (cd "$WORK/src" && for f in *; do zip -q -X "../zips/${f%.*}.zip" "$f"; done)
  touch "$STAMP"
fi

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
