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

# shellcheck source=xdrive.sh
source "$here/xdrive.sh"
fresh_home

# Fails when the window manager lets the window $1 (an id) be maximized: every window
# of the program has a fixed size.
check_no_maximize() {
    local actions
    actions=$(xprop -id "$1" _NET_WM_ALLOWED_ACTIONS)
    [[ "$actions" != *MAXIMIZE* ]] || fail "$wm: '$2' can be maximized: $actions"
}

run_under() {
    wm=$1
    export CARDOMINE_DRIVE_C="$work/$wm/drive_c"
    start_window_manager "$work/$wm" "$wm" || { cat "$work/$wm/wm.log" >&2; fail "$wm did not start"; }
    start_program
    local title id main
    for title in '^About Cardomine$' '^Please Help If You Can!$' '^File Creation Notice!$' \
        '^File Update Completed!$'; do
        id=$(check_centred "$title")
        check_no_maximize "$id" "$title"
        answer "$title" Return
    done
    main=$(main_id)
    check_no_maximize "$main" "the main window"
    main_keys Escape
    id=$(check_centred '^Exit\?$' "$main")
    check_no_maximize "$id" "Exit?"
    keys_to '^Exit\?$' alt+F4
    sleep 0.5
    xdotool search --onlyvisible --name '^Exit\?$' >/dev/null || fail "$wm: Alt+F4 closed the exit question"
    answer '^Exit\?$' Return
    wait_exit
    stop_window_manager
}

run_under openbox
run_under icewm
echo "frames: boxes centred and the exit question kept under Openbox and IceWM"
