#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the real window under a real X server and window manager, the pointer and its buttons
# driven by xdotool as a user's hand would drive them, and reads back from X where the window
# and its pop-up menus are. Qt's offscreen platform cannot show either: X11 asks for a menu on
# the right button's press, and only a window manager puts a title bar above a window.
# Usage: check_window_x11.sh KELMAR_BINARY
set -uo pipefail
kelmar=$1

. "$(dirname "$0")/../common/tools.sh"
require_tools Xvfb openbox xdotool xprop xwininfo

# Under AddressSanitizer: Debian 12's libxkbcommon-x11 hands strndup a keymap name that is not
# NUL-terminated within its length, which the sanitizer's strndup wrapper reads past as it
# starts the xcb platform. That is the library's, not ours; the rest stays checked.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:intercept_strndup=0"
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmar-x11.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number itself and names it once it takes connections.
mkfifo "$work/display" "$work/wm"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
number=$(timeout 60 head -n 1 "$work/display")
[ -n "$number" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$number
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# The window manager says when it manages the screen.
openbox --sm-disable --startup "sh -c 'echo up >$work/wm'" >"$work/openbox.log" 2>&1 &
pids+=($!)
[ -n "$(timeout 60 head -n 1 "$work/wm")" ] || { cat "$work/openbox.log" >&2; exit 1; }

# Enough files to fill the list, so the middle of the list is over a file.
mkdir -p "$work/files/sub"
for i in $(seq -w 1 60); do
    echo "$i" >"$work/files/game$i.zip"
done

QT_QPA_PLATFORM=xcb "$kelmar" "$work/files" >"$work/kelmar.log" 2>&1 &
kelmar_pid=$!
pids+=("$kelmar_pid")
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Kelmar ' | head -n 1)
if [ -z "$window" ]; then
    cat "$work/kelmar.log" >&2
    echo "FAIL: the window did not show" >&2
    exit 1
fi

geometry() { # WINDOW: sets X Y WIDTH HEIGHT (its place on the screen) and OVERRIDE (yes/no)
    local info
    info=$(xwininfo -id "$1")
    X=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    Y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    WIDTH=$(sed -n 's/^ *Width: *//p' <<<"$info")
    HEIGHT=$(sed -n 's/^ *Height: *//p' <<<"$info")
    OVERRIDE=$(sed -n 's/^ *Override Redirect State: *//p' <<<"$info")
}
# Waits until the window manager has framed the window and the window is where it stays.
frame=
for _ in $(seq 200); do
    frame=$(xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' | tr -d ' ')
    [ -n "$frame" ] && break
    xdotool sleep 0.05
done
[ -n "$frame" ] || fail "the window manager did not frame the window"
IFS=, read -r left right top bottom <<<"${frame:-0,0,0,0}"

# A first start (nothing stored) puts the whole window, title bar included, in the middle of
# the screen.
read -r SCREENWIDTH SCREENHEIGHT < <(xdotool getdisplaygeometry)
geometry "$window"
frame_x=$((X - left)) frame_y=$((Y - top))
frame_w=$((WIDTH + left + right)) frame_h=$((HEIGHT + top + bottom))
if ((frame_x < 0 || frame_y < 0 || frame_x + frame_w > SCREENWIDTH ||
    frame_y + frame_h > SCREENHEIGHT)); then
    fail "the window's frame ${frame_w}x${frame_h}+${frame_x}+${frame_y} is not on the ${SCREENWIDTH}x${SCREENHEIGHT} screen"
fi
slack=$((left > top ? left : top))
slack=$((slack > 2 ? slack : 2))
off_x=$((frame_x + frame_w / 2 - SCREENWIDTH / 2)) off_y=$((frame_y + frame_h / 2 - SCREENHEIGHT / 2))
if ((${off_x#-} > slack || ${off_y#-} > slack)); then
    fail "the window's frame ${frame_w}x${frame_h}+${frame_x}+${frame_y} is not centred on the screen"
fi
client_x=$X client_y=$Y client_w=$WIDTH client_h=$HEIGHT

shown() { # the program's windows on the screen, one a line
    xdotool search --onlyvisible --pid "$kelmar_pid" 2>/dev/null | sort
}
new_window() { # BEFORE: the one window shown now that was not among BEFORE
    comm -13 <(echo "$1") <(shown)
}

# Right button pressed at one place and released at another, both over the same view: the
# menu opens on the release, with its top-left corner where the pointer is then. One opened on
# the press would sit where the press was (and catch the release itself).
menu_height=
right_click() { # NAME X Y
    local name=$1 x=$2 y=$3 before menu
    before=$(shown)
    xdotool mousemove --sync "$x" "$y" mousedown 3
    [ -z "$(new_window "$before")" ] || fail "$name: a window opened on the press"
    xdotool mousemove --sync "$x" $((y + 24))
    [ -z "$(new_window "$before")" ] || fail "$name: a window opened on the press"
    xdotool mouseup 3
    menu=
    for _ in $(seq 200); do
        menu=$(new_window "$before")
        [ -n "$menu" ] && break
        xdotool sleep 0.05
    done
    if [ -z "$menu" ]; then
        fail "$name: no menu opened on the release"
        return
    fi
    if [ "$(wc -l <<<"$menu")" -ne 1 ]; then
        fail "$name: more than one window opened: $menu"
        return
    fi
    geometry "$menu"
    [ "$OVERRIDE" = yes ] || fail "$name: the window that opened is no pop-up menu"
    [ "$X,$Y" = "$x,$((y + 24))" ] ||
        fail "$name: the menu opened at $X,$Y, not at the pointer ($x,$((y + 24)))"
    menu_height=$HEIGHT
    xdotool key Escape
    for _ in $(seq 200); do
        [ -z "$(new_window "$before")" ] && break
        xdotool sleep 0.05
    done
    [ -z "$(new_window "$before")" ] || fail "$name: Escape did not close the menu"
}

# The file list fills the right half of the Control tab, the folder tree the left half.
middle_y=$((client_y + client_h / 2))
right_click file-list $((client_x + client_w * 3 / 4)) "$middle_y"
list_menu_height=$menu_height
right_click folder-tree $((client_x + client_w / 4)) "$middle_y"
if [ -n "$list_menu_height" ] && [ -n "$menu_height" ] && ((menu_height >= list_menu_height)); then
    fail "the tree opened the file list's menu (as tall: $menu_height)"
fi

# The main commands' keys, pressed as a user presses them. The title names a running
# batch's count and goes back to the program's name once the batch has ended and the list
# has been read again.
idle_title=$(xdotool getwindowname "$window")
until_true() { # COMMAND...: looks again after each short pause, as a guard against a hang
    for _ in $(seq 600); do
        "$@" && return 0
        xdotool sleep 0.05
    done
    return 1
}
idle() { [ "$(xdotool getwindowname "$window")" = "$idle_title" ]; }
list_x=$((client_x + client_w * 3 / 4))
xdotool mousemove --sync "$list_x" "$middle_y" click 1
xdotool key ctrl+a
# Ctrl+T and Escape arrive together, so Escape finds the batch running: only the archive
# taken up first is tested (and, damaged, set aside), the rest are left alone.
kill -STOP "$kelmar_pid"
xdotool key ctrl+t Escape
kill -CONT "$kelmar_pid"
until_true test -e "$work/files/game01.zip.bad" || fail "Ctrl+T did not test the selected archives"
until_true idle || fail "the batch Ctrl+T started did not end"
[ -e "$work/files/game60.zip" ] || fail "Escape did not stop the batch"
# The keyboard is back on the file list: Ctrl+A selects every file again. F5 lists a file
# made since, which the next Ctrl+T then tests with the rest.
echo new >"$work/files/new.zip"
xdotool key F5 ctrl+a ctrl+t
until_true test -e "$work/files/new.zip.bad" || fail "F5 did not list the new file, or Ctrl+A did not select it"
until_true idle || fail "the second batch did not end"
[ -e "$work/files/game60.zip.bad" ] || fail "after a batch, the keyboard was not back on the file list"

kill -0 "$kelmar_pid" 2>/dev/null || fail "kelmar ended: $(cat "$work/kelmar.log")"
if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "the window under X11 with a window manager: all checks passed"
