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

# shellcheck source=xdrive.sh
source "$here/xdrive.sh"
fresh_home

step() { echo "-- $*"; }

type_into() { # left top text
    click_main "$1" "$2"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 15 "$3"
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
check_centred '^Cardomine.tm. Options$' >/dev/null
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove --sync $((X + 2490 / 15 + 10)) $((Y + 4455 / 15 + 8)) click 1
check_centred '^Upgrade To Version 2.0$' "$id" >/dev/null
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
