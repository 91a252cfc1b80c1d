#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a staging folder, as the package does, and checks what a user gets:
# the files, the menu entry, the AppStream data, the manual pages, the completion and the one
# version they all show; then builds the Debian package through debian/ and lints it.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
build=$1 source=$2 version=$3
app_id=io.github.kelmar.Kelmar

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

. "$source/tests/common/tools.sh"
require_tools desktop-file-validate appstreamcli mandoc dpkg-buildpackage dpkg-parsechangelog dh \
    lintian dpkg-deb readelf tar

stage=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
if ! DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1; then
    cat "$stage.log" >&2
    rm -f "$stage.log"
    echo "FAIL: cmake --install" >&2
    exit 1
fi
rm -f "$stage.log"
usr=$stage/usr

# Exactly these files: anything more would land on users' machines unasked.
expected="bin/kelmar
bin/kelmar-cli
share/applications/$app_id.desktop
share/bash-completion/completions/kelmar-cli
share/icons/hicolor/scalable/apps/kelmar.svg
share/man/man1/kelmar-cli.1
share/man/man1/kelmar.1
share/metainfo/$app_id.metainfo.xml"
actual=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual"))"
for program in kelmar kelmar-cli; do
    [ -x "$usr/bin/$program" ] || fail "$program is not executable"
done

# The menu entry starts an installed program and shows an installed icon.
desktop=$usr/share/applications/$app_id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $app_id.desktop"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$usr/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"

metainfo=$usr/share/metainfo/$app_id.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$stage/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$stage/appstream.log")"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" ||
    fail "the metainfo does not give the project's licence"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d '"' -f 2)
[ "$newest" = "$version" ] || fail "the metainfo's newest release is $newest, not $version"

# One version everywhere.
cli=$usr/bin/kelmar-cli
[ "$("$cli" --version)" = "kelmar-cli $version" ] || fail "kelmar-cli --version: $("$cli" --version)"
gui_version=$(QT_QPA_PLATFORM=offscreen "$usr/bin/kelmar" --version 2>/dev/null)
[ "$gui_version" = "kelmar $version" ] || fail "kelmar --version: $gui_version"
deb_version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
[ "$deb_version" = "$version" ] || fail "debian/changelog's newest version is $deb_version"
grep -q "^## $version " "$source/NEWS.md" || fail "NEWS.md does not say what $version brought"
[ "$(cat "$source/LICENSE")" = "$(cat /usr/share/common-licenses/GPL-3)" ] ||
    fail "LICENSE is not the text of the GNU GPL version 3"

# The Debian package, built as scripts/package.sh builds it (without the tests: this suite is
# running them): lintian --pedantic finds no error and no warning, the package holds what the
# staged install holds (with the manual pages compressed) beside its documentation, and its
# programs are hardened.
check_package() {
    local out=$stage/deb listing expected_deb program
    DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" bash "$source/scripts/build-deb.sh" "$out" ||
        { fail "the package does not build or lintian finds fault with it"; return; }
    listing=$(dpkg-deb -c "$out/kelmar_${version}_$(dpkg --print-architecture).deb" |
        awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | LC_ALL=C sort)
    expected_deb=$( (sed 's|^share/man/.*|&.gz|' <<<"$expected"
        printf '%s\n' share/doc/kelmar/changelog.gz share/doc/kelmar/copyright) | LC_ALL=C sort)
    [ "$listing" = "$expected_deb" ] || fail "the package's files differ:
$(diff <(echo "$expected_deb") <(echo "$listing"))"
    dpkg-deb -x "$out/kelmar_${version}_$(dpkg --print-architecture).deb" "$out/root"
    for program in kelmar kelmar-cli; do
        program=$out/root/usr/bin/$program
        readelf -d "$program" | grep -q 'FLAGS.*BIND_NOW' || fail "$program: no bindnow"
        readelf -h "$program" | grep -q 'Type: *DYN' || fail "$program: not PIE"
        readelf -lW "$program" | grep -q GNU_RELRO || fail "$program: no relro"
        # A call the compiler proves safe stays unchecked, so a program may hold no checked
        # call at all: then the build itself must have asked for them.
        readelf --dyn-syms -W "$program" | grep -q '__[a-z_]*_chk' ||
            grep -q -- '-D_FORTIFY_SOURCE=[23]' "$out/build.log" ||
            fail "$program: not built with _FORTIFY_SOURCE"
    done
}

for page in kelmar kelmar-cli; do
    file=$usr/share/man/man1/$page.1
    lint=$(mandoc -T lint -W warning "$file" 2>&1) || fail "mandoc -T lint $page.1: $lint"
    grep -q "^\.TH .*\"Kelmar $version\"" "$file" || fail "$page.1 does not name version $version"
done

# The completion loads, and offers what the installed kelmar-cli has; each command and each
# of its options is described in the manual page.
completion=$usr/share/bash-completion/completions/kelmar-cli
complete_words() { # WORD... : what completing the last word offers
    bash -c 'source "$1" || exit 1
             shift
             COMP_WORDS=("$@")
             COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
             _kelmar_cli && printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
bash -c 'source "$1" && complete -p kelmar-cli' _ "$completion" >/dev/null ||
    fail "the completion script does not load"
page=$(sed 's/\\-/-/g' "$usr/share/man/man1/kelmar-cli.1")
section() { # the text of one command's part of the manual page
    awk -v name="$1" '/^\.S[SH] / { on = ($1 == ".SS" && $2 == name) } on' <<<"$page"
}
commands=$(complete_words "$cli" "" | LC_ALL=C sort)
described=$(awk '/^\.SH / { on = ($2 == "COMMANDS") } on && /^\.SS / { print $2 }' <<<"$page" |
    LC_ALL=C sort)
[ -n "$commands" ] || fail "completion offers no command"
[ "$commands" = "$described" ] || fail "commands offered and commands in kelmar-cli.1 differ:
$(diff <(echo "$commands") <(echo "$described"))"
for command in $commands; do
    [ "$command" = help ] && continue
    help=$("$cli" "$command" --help) || fail "kelmar-cli $command --help fails"
    grep -q '^Commands:' <<<"$help" && fail "kelmar-cli $command --help prints every command"
    text=$(section "$command")
    for option in $(complete_words "$cli" "$command" --); do
        [ "$option" = --help ] && continue
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$text" ||
            fail "kelmar-cli $command $option is not described in kelmar-cli.1"
    done
done
cases=$(complete_words "$cli" unzip --rename "" | tr '\n' ' ')
[ "$cases" = "lower upper original " ] || fail "completing unzip --rename offers: $cases"

# A second build of the programs: CI asks for it (.ci/run); a plain test run leaves it out.
if [ "${KELMAR_TEST_PACKAGE:-0}" = 1 ]; then
    check_package
else
    echo "the Debian package was not built (KELMAR_TEST_PACKAGE=1 builds and lints it)"
fi

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed tree of Kelmar $version: all checks passed"
