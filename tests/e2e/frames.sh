#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Window frames under two window managers, Openbox and IceWM: every box of a first
# run is centred, frame included, on the screen or on the window it belongs to, as the
# X server has it, and the exit question cannot be closed by its frame (Alt+F4 leaves
# it up). Windows placed while the window manager is still framing them are where a
# loaded machine puts them off centre.
#
#   frames.sh PROGRAM      (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1280x1024x24 "xdotool icewm openbox xprop xwininfo" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

work=$(mktemp -d)
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME"
unset QT_QPA_PLATFORM
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    stop_window_manager
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
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
    fail "$wm: no window titled '$1' appeared"
}

wait_gone() {
    for _ in $(seq 1 200); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "$wm: window '$1' did not close"
}

# Prints the centre "x y" of a window's frame, doubled: the client's absolute place
# from xwininfo, grown by the frame the window manager reports.
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

# check_centred TITLE [OWNER]: the box is centred on its owner window, else on the
# screen, within two pixels. Read as soon as the box is up: a box that the program
# moves into place later was seen off centre by the user.
check_centred() {
    local box bx by ox=1280 oy=1024
    box=$(wait_window "$1")
    sleep 0.2
    read -r bx by < <(frame_centre "$box")
    [[ -n "${2:-}" ]] && read -r ox oy < <(frame_centre "$2")
    echo "   $wm: '$1' frame centre ($((bx / 2)), $((by / 2))), owner's ($((ox / 2)), $((oy / 2)))" >&2
    ((bx - ox <= 4 && ox - bx <= 4 && by - oy <= 4 && oy - by <= 4)) ||
        fail "$wm: '$1' is not centred"
    echo "$box"
}

press() { # window keys...
    local id=$1
    shift
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key --clearmodifiers "$@"
}

run_under() {
    wm=$1
    export CARDOMINE_DRIVE_C="$work/$wm/drive_c"
    start_window_manager "$work/$wm" "$wm" || { cat "$work/$wm/wm.log" >&2; fail "$wm did not start"; }
    "$program" >"$work/$wm.log" 2>&1 &
    app_pid=$!
    local title id main
    for title in '^About Cardomine$' '^Please Help If You Can!$' '^File Creation Notice!$' \
        '^File Update Completed!$'; do
        id=$(check_centred "$title" | tail -n 1)
        press "$id" Return
        wait_gone "$title"
    done
    main=$(wait_window '^Cardomine.tm. 1.0 .Archivane.$')
    press "$main" Escape
    id=$(check_centred '^Exit\?$' "$main" | tail -n 1)
    press "$id" alt+F4
    sleep 0.5
    xdotool search --onlyvisible --name '^Exit\?$' >/dev/null || fail "$wm: Alt+F4 closed the exit question"
    press "$id" Return
    for _ in $(seq 1 100); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null && fail "$wm: the program did not end"
    app_pid=""
    stop_window_manager
}

run_under openbox
run_under icewm
echo "frames: boxes centred and the exit question kept under Openbox and IceWM"
