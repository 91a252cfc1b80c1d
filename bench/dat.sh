#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# DAT catalogues: loading one, and verifying a collection against one.
#
#   bench/dat.sh [--count N] [--rounds R] [--work DIR]
#
# Makes (once per N, with a fixed seed) N archives of 1 to 3 small entries in DIR/dat/zips
# (default N 20000, DIR /tmp/kelmar-bench-dat), a Logiqx XML catalogue of N sets matching
# them (a few ROMs misnamed, missing or damaged), and a clrmamepro catalogue of 14,000 sets
# of 1 to 4 ROMs with every hash. Then prints, best of R rounds (default 3) after a warm-up:
#   - `kelmar-cli space DIR` and `kelmar-cli dat verify --dat XML DIR`: both read only the
#     archives' central directories; the ratio is what verify costs on top;
#   - the peak memory of the verify run;
#   - `kelmar-cli test DIR` and `dat verify --hash sha1`: both inflate every entry;
#   - loading each catalogue (bench program dat_load: best of 5, and its peak memory).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
COUNT=20000
ROUNDS=3
WORK=/tmp/kelmar-bench-dat
parse_args 14 "$@"
need_tools python3
find_cli
cmake --build build --target dat_load >/dev/null
LOAD=build/bench/dat_load

DIR="$WORK/dat"
STAMP="$DIR/.made-$COUNT-2"
if [ ! -f "$STAMP" ]; then
  rm -rf "$DIR"
  mkdir -p "$DIR/zips"
  python3 - "$DIR" "$COUNT" <<'PY'
import os, random, sys, zipfile, zlib, hashlib
out, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(24)
games = []
for i in range(count):
    name = "Game %05d (World) (Rev %d)" % (i, i % 3)
    roms = []
    with zipfile.ZipFile(os.path.join(out, "zips", name + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for r in range(1 + i % 3):
            data = rnd.randbytes(64) * (1 + rnd.randrange(32))
            rname = "%s (%d).bin" % (name, r)
            stored = rname
            if i % 97 == 0 and r == 0:
                stored = "wrong.bin"          # misnamed
            roms.append((rname, len(data), zlib.crc32(data)))
            if i % 89 == 0 and r == 1:
                continue                      # missing
            z.writestr(stored, data)
    games.append((name, roms))
def esc(s):
    return s.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
with open(os.path.join(out, "verify.xml"), "w") as f:
    f.write('<?xml version="1.0"?>\n<datafile>\n<header><name>Bench</name><version>1</version></header>\n')
    for name, roms in games:
        f.write('<game name="%s"><description>%s</description>\n' % (esc(name), esc(name)))
        for rname, size, crc in roms:
            f.write('<rom name="%s" size="%d" crc="%08x"/>\n' % (esc(rname), size, crc))
        f.write('</game>\n')
    f.write('</datafile>\n')
with open(os.path.join(out, "cartridges.dat"), "w") as f:
    f.write('clrmamepro (\n\tname "Bench Cartridges"\n\tversion 20261208\n)\n\n')
    for i in range(14000):
        name = "Cartridge %05d (USA, Europe) (Rev %d)" % (i, i % 4)
        f.write('game (\n\tname "%s"\n\tdescription "%s"\n' % (name, name))
        if i % 5 == 0:
            f.write('\tcloneof "Cartridge %05d (USA, Europe) (Rev 0)"\n' % (i - i % 4))
        for r in range(1 + i % 4):
            data = rnd.randbytes(32)
            f.write('\trom ( name "%s (Track %d).bin" size %d crc %08X md5 %s sha1 %s )\n' %
                    (name, r, 262144 << (i % 4), zlib.crc32(data), hashlib.md5(data).hexdigest(),
                     hashlib.sha1(data).hexdigest().upper()))
        f.write(')\n\n')
PY
  touch "$STAMP"
fi

best_of() { # command... -> best seconds
  local best= t
  for ((i = 0; i < ROUNDS; i++)); do
    # verify exits 1 when a set is not complete, as it is here on purpose.
    /usr/bin/time -f %e -o "$WORK/time" "$@" >/dev/null 2>&1 || true
    t=$(tail -1 "$WORK/time")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $t < $best else 1)"; then best=$t; fi
  done
  echo "$best"
}

echo "Corpus: $COUNT archives in $DIR/zips; $(nproc) CPUs"
"$CLI" space "$DIR/zips" >/dev/null
"$CLI" dat verify --dat "$DIR/verify.xml" "$DIR/zips" >/dev/null || true
space=$(best_of "$CLI" space "$DIR/zips")
verify=$(best_of "$CLI" dat verify --dat "$DIR/verify.xml" "$DIR/zips")
/usr/bin/time -f %M -o "$WORK/time" "$CLI" dat verify --dat "$DIR/verify.xml" "$DIR/zips" >/dev/null 2>&1 || true
rss=$(tail -1 "$WORK/time")
printf '%-44s %8s s\n' "kelmar-cli space" "$space"
printf '%-44s %8s s  (%.2fx space)\n' "kelmar-cli dat verify (CRC)" "$verify" \
  "$(python3 -c "print($verify / $space if $space > 0 else 0)")"
printf '%-44s %8.1f MB\n' "peak memory of dat verify" "$(python3 -c "print($rss / 1024)")"
# Both inflate every entry: SHA-1 of each on the worker pool, against test's CRC check.
test=$(best_of "$CLI" test "$DIR/zips")
sha1=$(best_of "$CLI" dat verify --hash sha1 --dat "$DIR/verify.xml" "$DIR/zips")
printf '%-44s %8s s\n' "kelmar-cli test" "$test"
printf '%-44s %8s s  (%.2fx test)\n' "kelmar-cli dat verify --hash sha1" "$sha1" \
  "$(python3 -c "print($sha1 / $test if $test > 0 else 0)")"
"$LOAD" "$DIR/cartridges.dat" "$DIR/verify.xml"
