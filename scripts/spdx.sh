#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line at the top of every source file, in the file's own comment
# style; a file that has it already is left as it is, so running it again changes nothing.
# Usage: spdx.sh [--check] [ROOT]
#   --check  change nothing; list the files that lack the line and fail if there is one.
# ROOT is the repository's folder (by default the one this script is in).
set -euo pipefail
check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
root=${1:-$(dirname "$0")/..}
cd "$root"

license=GPL-3.0-or-later
tag=SPDX-License-Identifier

# The comment that carries the line, by the file's kind; nothing for a file that is not source.
comment_for() { # FILE
    case $1 in
        *.metainfo.xml) echo "<!-- $tag: CC0-1.0 -->" ;; # AppStream data: its metadata_license
        *.cpp | *.cc | *.h | *.hpp | *.h.in) echo "// $tag: $license" ;;
        *.[1-9] | *.[1-9].in) echo ".\\\" $tag: $license" ;;
        *.xml | *.svg | *.qrc) echo "<!-- $tag: $license -->" ;;
        */CMakeLists.txt | CMakeLists.txt | *.cmake | *.sh | *.py | *.bash-completion | *.desktop \
            | debian/rules) echo "# $tag: $license" ;;
        *) head -c 2 "$1" | grep -q '^#!' && echo "# $tag: $license" ;;
    esac
}

# How many first lines stay above it: an interpreter line, an XML declaration.
lines_above() { # FILE
    case $(head -n 1 "$1") in
        '#!'* | '<?xml'*) echo 1 ;;
        *) echo 0 ;;
    esac
}

files() {
    local top
    for top in src tests bench scripts dist .ci CMakeLists.txt debian/rules; do
        if [ -e "$top" ]; then find "$top" -type f; fi
    done | LC_ALL=C sort
}

missing=0
while IFS= read -r file; do
    line=$(comment_for "$file") || continue
    [ -n "$line" ] || continue
    above=$(lines_above "$file")
    [ "$(sed -n "$((above + 1))p" "$file")" = "$line" ] && continue
    if $check; then
        echo "$file: no '$tag' line at its top" >&2
        missing=$((missing + 1))
        continue
    fi
    # Through a file beside it, keeping the original's mode.
    tmp=$(mktemp "$file.spdx.XXXXXX")
    { head -n "$above" "$file"; echo "$line"; tail -n "+$((above + 1))" "$file"; } >"$tmp"
    chmod --reference="$file" "$tmp"
    mv "$tmp" "$file"
done < <(files)

if ((missing)); then
    echo "$missing file(s) lack the SPDX line: run scripts/spdx.sh" >&2
    exit 1
fi
