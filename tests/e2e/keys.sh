#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What keys and pastes put into a record, and where the focus goes after a box, on the
# real program under Xvfb, driven with real keys and mouse clicks (xdotool):
#  - with IceWM: Alt+letters whose button is disabled, or that no button has, type
#    nothing in edit and create mode, while "@" (a shifted key) still types; a paste of two lines with a tab into a one-line box, by keyboard and
#    by middle click, keeps the first line with the tab as a space; a field stored with
#    a tab is saved back as stored; Enter clicks the focused OK, Cancel or Apply of
#    Options;
#  - with no window manager: the main window has the focus again after each box, so
#    Alt+D, Escape and Alt+N work without a click.
# Then checks the data file byte for byte.
#
#   keys.sh PROGRAM MAKECARDFILE CHECKER     (exit 77 = skipped: no X server, outside CI)
set -euo pipefail

program=$(realpath "$1")
makecardfile=$(realpath "$2")
checker=$(realpath "$3")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1280x1024x24 "xdotool icewm xprop" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"
# shellcheck source=xdrive.sh
source "$here/xdrive.sh"

work=$(mktemp -d)
export CARDOMINE_DRIVE_C="$work/drive_c"
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME" "$CARDOMINE_DRIVE_C"
unset QT_QPA_PLATFORM
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    stop_window_manager
    rm -rf "$work"
}
trap cleanup EXIT

step() { echo "-- ${SECONDS}s: $*"; }
fail() {
    echo "FAIL: $*" >&2
    import -window root "${E2E_SHOT:-/tmp/cardomine-keys-failure.png}" 2>/dev/null || true
    exit 1
}

# Three contacts (Ada Lovelace, Émile Zola, Zoë Brontë); Zoë's company stored with a
# tab, as another program may leave it; Ada's notes hold two lines, the first with a tab.
"$makecardfile"
"$makecardfile" set 3 2 $'Haworth\tParsonage'
cp "$CARDOMINE_DRIVE_C/Program Files/Pelvarin/Cardomine.Dat" "$work/before.dat"
printf 'First\tline\r\nSecond line\r\n' >"$CARDOMINE_DRIVE_C/Program Files/Pelvarin/Contact Notes/1.txt"

start_window_manager "$work/icewm" || fail "no window manager"

step "start under IceWM"
start_program
answer '^About Cardomine$' Return
answer '^Please Help If You Can!$' Return
main=$(main_id)
xdotool windowfocus --sync "$main"

NOTES="360 3240"
step "edit contact 1: pastes of Ada's notes by middle click and by Ctrl+V"
keys alt+e
click_main 1200 960 # company, emptied
keys ctrl+a BackSpace
click_main $NOTES
keys ctrl+a ctrl+c # the notes are now both the X selection and the clipboard
click_main 1200 960 6 2
click_main 1200 480 # last name
keys ctrl+a ctrl+v

step "edit contact 1: Alt+letters type nothing, @ types"
click_main 1200 1560 # address
keys ctrl+a
type_text "Main St"
keys alt+x alt+n alt+d alt+e alt+f alt+o alt+z
type_text @
click_main $NOTES
keys ctrl+End alt+x alt+n alt+z
keys alt+s
answer '^Save Record\?$' Return

step "edit contact 3: its stored tab is kept"
click_main 7335 2760 -8 # the scroll bar's right arrow, twice
click_main 7335 2760 -8
keys alt+e
click_main 1200 2040 # city
keys ctrl+a
type_text Keighley
keys alt+s
answer '^Save Record\?$' Return

step "create contact 4: Alt+letters type nothing"
keys alt+n
answer '^Record Formatting Complete.$' Return
click_main 1200 120
type_text Ann
keys alt+d alt+f alt+o alt+e alt+c alt+z alt+x
click_main 1200 480
type_text Lee
click_main 1200 960
type_text Acme
click_main 5880 480
type_text 555
keys alt+n
sleep 0.5

OPTIONS='^Cardomine.tm. Options$'
step "Options: Enter clicks the focused OK, Cancel, Apply"
options_enter() { # tabs from the tab strip to the button, then whether boxes follow
    keys alt+o
    xdotool windowfocus --sync "$(wait_window "$OPTIONS")"
    sleep 0.2
    keys $(printf 'Tab %.0s' $(seq 1 "$1")) Return
    if [[ "$2" == boxes ]]; then
        answer '^Upgrade To Version 2.0$' Return
        answer '^See ' Return
    fi
    wait_gone "$OPTIONS"
    ! xdotool search --onlyvisible --name '^Upgrade' >/dev/null 2>&1 ||
        fail "a version box came up after Cancel"
    wait_focus "$main" "the main window"
}
options_enter 4 boxes # OK
options_enter 5 none  # Cancel
options_enter 6 boxes # Apply

main_keys_exit() {
    keys Escape
    answer '^Exit\?$' Return
    wait_exit
}
main_keys_exit

step "no window manager: the focus comes back after each box"
stop_window_manager
sleep 0.5
# Answers the box titled $1 with keys, without handing it the focus: with no window
# manager the program has to give it the focus, and give it back afterwards.
answer_alone() {
    local title=$1 id
    shift
    id=$(wait_window "$title")
    wait_focus "$id" "the box '$title'"
    xdotool key "$@"
    wait_gone "$title"
}
back_to_main() { wait_focus "$main" "the main window after $1"; }
start_program
answer_alone '^About Cardomine$' Return
answer_alone '^Please Help If You Can!$' Return
main=$(main_id)
back_to_main "the start"
keys alt+d
answer_alone '^Upgrade to Version 2.0$' Return
answer_alone '^See ' Return
back_to_main "the boxes of Delete"
keys Escape
answer_alone '^Exit\?$' alt+n
back_to_main "the exit question"
keys alt+n
answer_alone '^Record Formatting Complete.$' Return
back_to_main "the create notice"
keys Escape # in create mode the exit button saves: all major boxes are blank
answer_alone '^Caution!$' alt+n
back_to_main "the question of a blank record"
keys alt+o
answer_alone "$OPTIONS" Escape
back_to_main "Options"
keys Escape
answer_alone '^Exit\?$' Return
wait_exit

step "check the files"
"$checker" "$CARDOMINE_DRIVE_C" "$work/before.dat" || fail "the files are not as expected"
echo "keys: all steps passed"
