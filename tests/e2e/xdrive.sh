# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the end-to-end scripts that drive the real program with xdotool: waiting
# for windows, answering boxes, clicking and typing into the main window. The caller
# sets $work and $program and defines fail().

MAIN='^Cardomine.tm. 1.0 .Archivane.$'
app_pid=""

# Waits for a visible window whose title matches the regex; prints its id.
wait_window() {
    local id
    for _ in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    fail "no window titled '$1' appeared"
}

wait_gone() {
    for _ in $(seq 1 300); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window '$1' did not close"
}

# Waits until the window $1 (an id) has the keyboard focus; $2 names it for the failure.
wait_focus() {
    for _ in $(seq 1 100); do
        [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$1" ]] && return 0
        sleep 0.05
    done
    fail "$2 does not have the keyboard focus"
}

# Presses keys in the box or dialog titled $1 once it is up, and waits for it to go.
answer() {
    local title=$1 id
    shift
    id=$(wait_window "$title")
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key "$@"
    wait_gone "$title"
}

main_id() { wait_window "$MAIN"; }

# Keys for the main window, which must have the focus already.
keys() {
    xdotool key --delay 30 "$@"
    sleep 0.2
}

# Clicks, with button $4 (default 1), the point (left, top) in twips of the main
# window's client area, plus $3 pixels (default 6) across and 6 down, so the click lands
# inside the control there.
click_main() {
    local id X Y WIDTH HEIGHT SCREEN WINDOW
    id=$(main_id)
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove --sync $((X + $1 / 15 + ${3:-6})) $((Y + $2 / 15 + 6)) click "${4:-1}"
    sleep 0.2
}

type_text() {
    xdotool type --delay 20 "$1"
    sleep 0.2
}

start_program() {
    "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
}

wait_exit() {
    for _ in $(seq 1 150); do
        kill -0 "$app_pid" 2>/dev/null || {
            wait "$app_pid" || fail "program exited with $?"
            app_pid=""
            return 0
        }
        sleep 0.1
    done
    fail "program did not end"
}
