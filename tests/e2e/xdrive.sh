# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by the end-to-end scripts that drive the real program with xdotool: a fresh
# home and drive root, waiting for windows, answering boxes, clicking and typing into
# the main window, where the frames of windows stand. The caller sets $program.

MAIN='^Cardomine.tm. 1.0 .Archivane.$'
app_pid=""

# Makes $work, a fresh home and drive root in it for the program, and the EXIT trap
# that ends the program and the window manager and removes $work.
fresh_home() {
    work=$(mktemp -d)
    export CARDOMINE_DRIVE_C="$work/drive_c"
    export HOME="$work/home" XDG_DATA_HOME="$work/home/share" XDG_CONFIG_HOME="$work/home/config"
    mkdir -p "$HOME"
    unset QT_QPA_PLATFORM
    trap end_run EXIT
}

end_run() {
    [[ -n "$app_pid" ]] && kill -9 "$app_pid" 2>/dev/null || true
    stop_window_manager
    rm -rf "$work"
}

# Fails the test, leaving a picture of the screen in $E2E_SHOT or /tmp.
fail() {
    echo "FAIL: $*" >&2
    import -window root "${E2E_SHOT:-/tmp/cardomine-$(basename "$0" .sh)-failure.png}" 2>/dev/null || true
    exit 1
}

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

# Gives the window titled $1 the focus, as a click on it would, and presses keys there.
keys_to() {
    local id
    id=$(wait_window "$1")
    shift
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key --clearmodifiers "$@"
}

main_keys() { keys_to "$MAIN" "$@"; }

# Presses keys in the box or dialog titled $1 once it is up, and waits for it to go.
answer() {
    keys_to "$@"
    wait_gone "$1"
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
    "$program" >>"$work/program.log" 2>&1 &
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

# Prints the centre "x y" of a window's frame, doubled, as the X server has it: the
# client's absolute place from xwininfo, grown by the frame the window manager reports.
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

# check_centred TITLE [OWNER]: the box is centred, frame included, on its owner window
# (an id), else on the screen, within two pixels. Read as soon as the box is up: a box
# that the program moves into place later was seen off centre by the user. Prints
# the box's id.
check_centred() {
    local box bx by ox oy screen
    box=$(wait_window "$1")
    sleep 0.2
    read -r bx by < <(frame_centre "$box")
    if [[ -n "${2:-}" ]]; then
        read -r ox oy < <(frame_centre "$2")
    else
        screen=$(xwininfo -root | awk '/Window id/ {print $4}')
        read -r ox oy < <(frame_centre "$screen")
    fi
    echo "   '$1' frame centre ($((bx / 2)), $((by / 2))), owner's ($((ox / 2)), $((oy / 2)))" >&2
    ((bx - ox <= 4 && ox - bx <= 4 && by - oy <= 4 && oy - by <= 4)) ||
        fail "'$1' is not centred"
    echo "$box"
}
