#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/spdx.sh on a tree of its own: each kind of file gets the line in its comment style,
# below an interpreter line or an XML declaration; a second run changes nothing; --check
# fails on a file without the line. Then the repository's own files, which must all have it.
# Usage: check_spdx.sh SOURCE_DIR
set -uo pipefail
source=$1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

tree=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-spdx.XXXXXX")
trap 'rm -rf "$tree"' EXIT
id='SPDX-License-Identifier: GPL-3.0-or-later'
# file | its content (\n between lines) | its first lines afterwards
cases=(
    "src/a/File.cpp|int x;|// $id\nint x;"
    "src/Version.h.in|#pragma once|// $id\n#pragma once"
    "scripts/run.sh|#!/usr/bin/env bash\necho|#!/usr/bin/env bash\n# $id\necho"
    "tests/common/tools.sh|# Sourced.|# $id\n# Sourced."
    ".ci/run|#!/bin/sh\ntrue|#!/bin/sh\n# $id\ntrue"
    "CMakeLists.txt|project(x)|# $id\nproject(x)"
    "dist/kelmar.1|.TH KELMAR 1|.\\\\\" $id\n.TH KELMAR 1"
    "dist/kelmar-cli.1.in|.TH KELMAR 1|.\\\\\" $id\n.TH KELMAR 1"
    "dist/kelmar.svg|<?xml version=\"1.0\"?>\n<svg/>|<?xml version=\"1.0\"?>\n<!-- $id -->\n<svg/>"
    "src/app/kelmar.qrc|<!DOCTYPE RCC>|<!-- $id -->\n<!DOCTYPE RCC>"
    "dist/a.metainfo.xml|<?xml version=\"1.0\"?>\n<component/>|<?xml version=\"1.0\"?>\n<!-- SPDX-License-Identifier: CC0-1.0 -->\n<component/>"
    "dist/a.desktop|[Desktop Entry]|# $id\n[Desktop Entry]"
    "tests/data.txt|plain words|plain words"
)
for row in "${cases[@]}"; do
    IFS='|' read -r file content _ <<<"$row"
    mkdir -p "$tree/$(dirname "$file")"
    printf '%b\n' "$content" >"$tree/$file"
done
chmod +x "$tree/scripts/run.sh"
bash "$source/scripts/spdx.sh" --check "$tree" 2>/dev/null && fail "--check passes files without the line"
bash "$source/scripts/spdx.sh" "$tree" || fail "spdx.sh failed"
for row in "${cases[@]}"; do
    IFS='|' read -r file _ expected <<<"$row"
    [ "$(cat "$tree/$file")" = "$(printf '%b' "$expected")" ] ||
        fail "$file became: $(cat "$tree/$file")"
done
[ -x "$tree/scripts/run.sh" ] || fail "scripts/run.sh lost its execute bit"
before=$(cd "$tree" && find . -type f -exec md5sum {} + | sort)
bash "$source/scripts/spdx.sh" "$tree" || fail "spdx.sh failed a second time"
[ "$(cd "$tree" && find . -type f -exec md5sum {} + | sort)" = "$before" ] ||
    fail "a second run changed files"
bash "$source/scripts/spdx.sh" --check "$tree" || fail "--check fails after spdx.sh"

bash "$source/scripts/spdx.sh" --check "$source" || fail "the repository's files lack the line"

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "spdx.sh: all checks passed"
