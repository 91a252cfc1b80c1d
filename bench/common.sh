# SPDX-License-Identifier: GPL-3.0-or-later
# What the benchmark scripts share. Sourced from the repository's root.
#
#   find_cli                     sets CLI to kelmar-cli's absolute path ($KELMAR_CLI, or
#                                build/src/kelmar-cli, built when missing)
#   need_tools TOOL...           ends the script when a tool is not on PATH
#   make_corpus WORK COUNT MAX_MB
#                                the ROM-like corpus: COUNT files up to MAX_MB MiB in
#                                $WORK/src, one Info-ZIP archive per file in $WORK/zips;
#                                made once per set of parameters
#   make_zip_corpus WORK COUNT MAX_MB
#                                the ROM-like files of the zip benchmarks in $WORK/src (with
#                                scattered changes in the repetitive blocks); made once
#   parse_args LAST_HELP_LINE ARG...
#                                --count, --max-mb, --rounds and --work set COUNT, MAX_MB,
#                                ROUNDS and WORK; --help prints the script's header up to
#                                LAST_HELP_LINE; anything else goes to the script's own
#                                extra_option ARG..., which sets EXTRA_TAKEN to the number of
#                                words it used (none: an unknown argument)
#   kelmar_command WORK          sets K to kelmar-cli with an empty settings file in WORK and
#                                --jobs $KELMAR_JOBS when that is set
#   ZIP6_FLAGS, PY_ZIP           kelmar-cli's flags for a plain level-6 zip, and Python's
#                                zipfile at level 6 (argv: SRC OUT each|one)
parse_args() {
  local help=$1
  shift
  while (($#)); do
    case "$1" in
      --count) COUNT=$2; shift 2 ;;
      --max-mb) MAX_MB=$2; shift 2 ;;
      --rounds) ROUNDS=$2; shift 2 ;;
      --work) WORK=$2; shift 2 ;;
      -h|--help) sed -n "2,${help}p" "$0"; exit 0 ;;
      *)
        EXTRA_TAKEN=0
        if declare -F extra_option >/dev/null; then extra_option "$@"; fi
        ((EXTRA_TAKEN > 0)) || { echo "unknown argument: $1" >&2; exit 2; }
        shift "$EXTRA_TAKEN" ;;
    esac
  done
}

ZIP6_FLAGS=(--level 6 --no-password --no-info-file --no-keep-paths --keep-originals --case original --no-original-extensions)
PY_ZIP='
import os, sys, zipfile
src, out, each = sys.argv[1], sys.argv[2], sys.argv[3] == "each"
names = sorted(os.listdir(src))
def add(z, n):
    z.write(os.path.join(src, n), n, compress_type=zipfile.ZIP_DEFLATED, compresslevel=6)
if each:
    for n in names:
        with zipfile.ZipFile(os.path.join(out, os.path.splitext(n)[0] + ".zip"), "w") as z:
            add(z, n)
else:
    with zipfile.ZipFile(os.path.join(out, "all.zip"), "w") as z:
        for n in names:
            add(z, n)
'

find_cli() {
  CLI=${KELMAR_CLI:-build/src/kelmar-cli}
  if [ ! -x "$CLI" ]; then
    cmake -S . -B build >/dev/null
    cmake --build build -j2 --target kelmar-cli >/dev/null
    CLI=build/src/kelmar-cli
  fi
  CLI=$(realpath "$CLI")
}

kelmar_command() {
  local settings="$1/empty.ini" jobs=()
  : >"$settings"
  [ -n "${KELMAR_JOBS:-}" ] && jobs=(--jobs "$KELMAR_JOBS")
  K=("$CLI" --settings "$settings" "${jobs[@]}")
}

need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/setup.sh)" >&2; exit 1; }
  done
}

make_corpus() {
local WORK=$1 COUNT=$2 MAX_MB=$3
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
}

make_zip_corpus() {
local WORK=$1 COUNT=$2 MAX_MB=$3 SRC=$1/src
local STAMP="$WORK/.corpus-$COUNT-$MAX_MB"
if [ ! -f "$STAMP" ]; then
  rm -rf "$WORK"
  mkdir -p "$SRC"
  echo "Generating $COUNT files up to $MAX_MB MiB in $SRC ..." >&2
  python3 - "$SRC" "$COUNT" "$MAX_MB" <<'PY'
import os, random, sys
folder, count, max_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1987)
exts = ['nes', 'sfc', 'gba', 'md', 'n64', 'bin', 'iso', 'pce', 'gb', 'a26']
def noise(n):
    return rng.getrandbits(8 * n).to_bytes(n, 'little')
for i in range(count):
    r = rng.random()
    if r < 0.6:
        size = rng.randint(16 << 10, 1 << 20)
    elif r < 0.9:
        size = rng.randint(1 << 20, min(4, max_mb) << 20)
    else:
        size = rng.randint(min(4, max_mb) << 20, max_mb << 20)
    kind = rng.random()
    parts, left = [], size
    while left > 0:
        n = min(left, rng.randint(4 << 10, 256 << 10))
        k = rng.random()
        if k < kind * 0.8:            # code and graphics: repetitive with variation
            block = bytearray(noise(rng.randint(64, 1024)))
            data = bytearray((bytes(block) * (n // len(block) + 1))[:n])
            for _ in range(n // 64):
                data[rng.randrange(n)] = rng.randrange(256)
            parts.append(bytes(data))
        elif k < kind * 0.8 + 0.15:   # padding
            parts.append(bytes([rng.choice([0x00, 0xff])]) * n)
        else:                         # compressed or encrypted data
            parts.append(noise(n))
        left -= n
    name = 'Game %04d (%s).%s' % (i, rng.choice(['USA', 'Europe', 'Japan', 'World']), rng.choice(exts))
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(b''.join(parts))
PY
  touch "$STAMP"
fi
}
