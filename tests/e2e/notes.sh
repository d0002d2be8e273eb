#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The notes limit and an all-or-nothing Save Edit, on the real program under Xvfb and
# IceWM with real keys (xdotool) and real kills:
#  - a paste that would pass the notes limit is refused with a message, and the
#    contact is saved with its notes as they were;
#  - a contact whose notes file is past the limit is edited and saved, its notes file
#    left as it is;
#  - kill -9 at several moments of Save Edit of a contact with about 1 MB of notes,
#    with every fsync slowed (strace delays them): the next start shows the old record
#    with the old notes or the new record with the new notes, and the temporary notes
#    files are in Recovered/, never left hidden in Contact Notes.
#
#   notes.sh PROGRAM TOOL      (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
tool=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1280x1024x24 "xdotool icewm xprop strace" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

# shellcheck source=xdrive.sh
source "$here/xdrive.sh"
fresh_home
data="$CARDOMINE_DRIVE_C/Program Files/Pelvarin"
notes1="$data/Contact Notes/1.txt"

step() { echo "-- $*"; }

# Starts the program on an existing card file and answers the two start-up boxes.
start_to_main() {
    start_program
    answer '^About Cardomine$' Return
    answer '^Please Help If You Can!$' Return
    main_id >/dev/null
}

exit_program() {
    main_keys Escape
    answer '^Exit\?$' Return
    wait_exit
}

# Fails when a box titled $1 shows up within a few seconds.
expect_no_box() {
    for _ in $(seq 1 20); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && fail "'$1' appeared"
        sleep 0.1
    done
}

# Notes of about $1 bytes in lines of 70, ending "$2".
write_notes() {
    python3 - "$notes1" "$1" "$2" <<'PY'
import sys
path, size, end = sys.argv[1], int(sys.argv[2]), sys.argv[3]
line = b"Notes typed over the years, one line after another, to fill the box. \r\n"
open(path, "wb").write(line * (size // len(line)) + end.encode() + b"\r\n")
PY
}

digest() { sha256sum "$1" | cut -d' ' -f1; }
hidden_notes() { find "$data/Contact Notes" -maxdepth 1 -name '.*.tmp-*' | wc -l; }

start_window_manager "$work/icewm" || fail "no window manager"

step "first run"
start_program
answer '^About Cardomine$' Return
answer '^Please Help If You Can!$' Return
answer '^File Creation Notice!$' Return
answer '^File Update Completed!$' Return
exit_program

step "a paste past the notes limit is refused, and the contact still saves"
write_notes 700000 "first"
before=$(digest "$notes1")
start_to_main
click_main 400 3300
main_keys ctrl+a ctrl+c
main_keys alt+e
click_main 400 3300
main_keys ctrl+End ctrl+v
answer '^Notes Too Long$' Return
main_keys alt+s
answer '^Save Record\?$' Return
expect_no_box '^File Problem!$'
exit_program
[[ $(digest "$notes1") == "$before" ]] || fail "the notes file changed"

step "a contact whose notes file is past the limit is edited and saved"
write_notes 1500000 "big"
before=$(digest "$notes1")
for phone in 555.0101 555.0102; do
    start_to_main
    main_keys alt+e
    click_main 5900 860
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "$phone"
    main_keys alt+s
    answer '^Save Record\?$' Return
    expect_no_box '^File Problem!$'
    exit_program
    grep -q "$phone" "$data/Cardomine.Dat" || fail "the record with $phone was not saved"
    [[ $(digest "$notes1") == "$before" ]] || fail "the big notes file changed"
done

step "kill -9 during Save Edit, fsync slowed"
write_notes 1000000 "round0"
# The moments of the kill after the save question closes, in seconds: with each fsync
# 0.3 s long the save takes about 1.5 s (the marker, the new notes beside the old, the
# record, the notes put in place).
round=0
for delay in 0.3 0.8 1.1 1.4 2.5; do
    round=$((round + 1))
    old_notes=$(digest "$notes1")
    start_to_main
    # Every fsync of the program takes 0.3 s from here on.
    strace -f -qq -o /dev/null -p "$app_pid" -e trace=fsync -e inject=fsync:delay_enter=300000 &
    tracer=$!
    sleep 1
    main_keys alt+e
    click_main 1250 500
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "Kill$round"
    click_main 400 3300
    xdotool key --clearmodifiers ctrl+End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
    xdotool type --delay 20 "round$round"
    main_keys alt+s
    answer '^Save Record\?$' Return
    sleep "$delay"
    kill -9 "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    wait "$tracer" 2>/dev/null || true
    left=$(hidden_notes)
    if ((left > 0)); then
        "$tool" check >"$work/check.txt" 2>&1 || true
        grep -qE "temporary notes file|notes of the interrupted save" "$work/check.txt" || fail "check does not report the waiting notes"
    fi
    recovered_before=$(find "$data" -path '*Recovered*' -name '1.txt.tmp-*' 2>/dev/null | wc -l)
    start_to_main
    exit_program
    saved_record=no
    grep -q "Kill$round" "$data/Cardomine.Dat" && saved_record=yes
    saved_notes=no
    tail -c 20 "$notes1" | grep -q "round$round" && saved_notes=yes
    echo "   kill after ${delay} s: record saved $saved_record, notes saved $saved_notes, $left temporary notes file(s) at the kill"
    [[ $saved_record == "$saved_notes" ]] || fail "round $round: the record and its notes do not match"
    [[ $saved_notes == yes || $(digest "$notes1") == "$old_notes" ]] || fail "round $round: the old notes changed"
    (($(hidden_notes) == 0)) || fail "round $round: temporary notes files were left in Contact Notes"
    recovered_after=$(find "$data" -path '*Recovered*' -name '1.txt.tmp-*' 2>/dev/null | wc -l)
    if [[ $saved_notes == no ]] && ((left > 0)); then
        ((recovered_after > recovered_before)) || fail "round $round: the typed notes were not kept in Recovered"
    fi
done
echo "e2e notes: all steps passed"
