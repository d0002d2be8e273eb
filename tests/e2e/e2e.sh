#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end test of the built program: starts it under Xvfb and IceWM (a real window
# manager, as users run it) against a fresh drive root, drives it with real keyboard
# and mouse events (xdotool) through a first run, two new contacts with notes, an
# edit, browsing, a restart, the options dialog and the exit question, then checks the
# files byte for byte.
#
#   e2e.sh PROGRAM CHECKER      (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
checker=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1280x1024x24 "xdotool icewm xprop import" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

work=$(mktemp -d)
export CARDOMINE_DRIVE_C="$work/drive_c"
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME"
unset QT_QPA_PLATFORM
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    stop_window_manager
    rm -rf "$work"
}
trap cleanup EXIT

step() { echo "-- $*"; }
fail() {
    echo "FAIL: $*" >&2
    import -window root "${E2E_SHOT:-/tmp/cardomine-e2e-failure.png}" 2>/dev/null || true
    exit 1
}

# Waits for a visible window whose title matches the regex; prints its id.
wait_window() {
    local id
    for _ in $(seq 1 200); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    fail "no window titled '$1' appeared"
}

wait_gone() {
    for _ in $(seq 1 200); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window '$1' did not close"
}

# Presses keys in the box or dialog titled $1 once it is up, and waits for it to go.
answer() {
    local title=$1 id
    shift
    id=$(wait_window "$title")
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key --clearmodifiers "$@"
    wait_gone "$title"
}

MAIN='^Cardomine.tm. 1.0 .Archivane.$'

# Prints the centre "x y" of a window's frame, as the X server has it: the client's
# absolute place from xwininfo, grown by the frame the window manager reports.
frame_centre() {
    local info x y w h ext l r t b
    info=$(xwininfo -id "$1")
    x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    w=$(awk '/Width:/ {print $NF}' <<<"$info")
    h=$(awk '/Height:/ {print $NF}' <<<"$info")
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r l r t b <<<"${ext:-0,0,0,0}"
    echo $(((x - l) * 2 + w + l + r)) $(((y - t) * 2 + h + t + b))
}

# Fails unless the box titled $1 is centred, frame included, on the window $2 (within
# a few pixels; centres are given doubled).
check_centred_on() {
    local box bx by ox oy
    box=$(wait_window "$1")
    sleep 0.3
    read -r bx by < <(frame_centre "$box")
    read -r ox oy < <(frame_centre "$2")
    echo "   '$1' frame centre ($((bx / 2)), $((by / 2))), owner's ($((ox / 2)), $((oy / 2)))"
    ((bx - ox <= 6 && ox - bx <= 6 && by - oy <= 6 && oy - by <= 6)) ||
        fail "'$1' is not centred on its owner"
}

main_keys() {
    local id
    id=$(wait_window "$MAIN")
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key --clearmodifiers "$@"
}

# Clicks the point (left, top) in twips of the main window's client area, plus a
# few pixels so the click lands inside the control there.
click_main() {
    local id X Y WIDTH HEIGHT SCREEN WINDOW
    id=$(wait_window "$MAIN")
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove --sync $((X + $1 / 15 + ${3:-6})) $((Y + $2 / 15 + 6)) click 1
    sleep 0.2
}

type_into() { # left top text
    click_main "$1" "$2"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 15 "$3"
}

start_program() {
    "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
}

wait_exit() {
    for _ in $(seq 1 100); do
        kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" || fail "program exited with $?"; app_pid=""; return 0; }
        sleep 0.1
    done
    fail "program did not end"
}

start_window_manager "$work/icewm" || fail "no window manager"

step "first run"
start_program
answer '^About Cardomine$' Return
answer '^Please Help If You Can!$' Return
answer '^File Creation Notice!$' Return
answer '^File Update Completed!$' Return
wait_window "$MAIN" >/dev/null

new_contact() { # first last company home work notes
    main_keys alt+n
    answer '^Record Formatting Complete.$' Return
    type_into 1200 120 "$1"
    type_into 1200 480 "$2"
    type_into 1200 960 "$3"
    [[ -n "$4" ]] && type_into 5880 480 "$4"
    [[ -n "$5" ]] && type_into 5880 840 "$5"
    [[ -n "$6" ]] && type_into 360 3240 "$6"
    main_keys alt+n
    sleep 0.5
}

step "two new contacts"
new_contact Alice Archer "Acme Ltd" 555.0100 "" "Alice notes"
new_contact Bob Baker Bakery "" 555.0200 ""

step "edit contact 2"
click_main 7335 2760 -8 # the scroll bar's right arrow: record 2
main_keys alt+e
type_into 1200 480 Edited
main_keys alt+s
answer '^Save Record\?$' Return

step "exit"
main_keys Escape
answer '^Exit\?$' Return
wait_exit

step "restart, browse, options"
start_program
answer '^About Cardomine$' Return
answer '^Please Help If You Can!$' Return
wait_window "$MAIN" >/dev/null
click_main 7335 2760 -8
click_main 7335 2760 -8
main_keys alt+o
answer '^Cardomine.tm. Options$' ctrl+Tab Escape
main_keys alt+o
id=$(wait_window '^Cardomine.tm. Options$')
check_centred_on '^Cardomine.tm. Options$' "$(xwininfo -root | awk '/Window id/ {print $4}')"
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove --sync $((X + 2490 / 15 + 10)) $((Y + 4455 / 15 + 8)) click 1
check_centred_on '^Upgrade To Version 2.0$' "$id"
answer '^Upgrade To Version 2.0$' Return
answer '^See ' Return
wait_gone '^Cardomine.tm. Options$'

step "exit: No, then Yes"
main_keys Escape
answer '^Exit\?$' alt+n
wait_window "$MAIN" >/dev/null
main_keys Escape
answer '^Exit\?$' Return
wait_exit

step "check the files"
"$checker" "$CARDOMINE_DRIVE_C" || fail "the files are not as expected"
echo "e2e: all steps passed"
