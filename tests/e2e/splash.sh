#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The splash's pixels reach the X server under a window manager: the program is
# stopped at each of the eight jumps of its count (the splash's test hook
# CARDOMINE_SPLASH_HOLD_DIR), the splash window is grabbed from the X server and the
# grab must show the fan-fold drawing, the labels and the bar at that jump's value.
# A second run plays a slow machine: the window manager is frozen while the splash is
# shown, so the splash reaches the screen only after the count has begun, while the
# program answers no paint requests.
#
#   splash.sh PROGRAM CHECKER      (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
checker=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1024x768x24 "icewm import xprop" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

work=$(mktemp -d)
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "${wm_pid:-}" ]] && kill -CONT "$wm_pid" 2>/dev/null || true
    stop_window_manager
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

export CARDOMINE_DRIVE_C="$work/drive_c" HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME" "$work/hold"
unset QT_QPA_PLATFORM
start_window_manager "$work/icewm" || fail "no window manager"

# run_splash NAME [frozen]: one start of the program, checked at every jump (the
# frozen run at the first and the last: the rest add nothing but time).
run_splash() {
    local name=$1 frozen=${2:-} hold="$work/$1" note window value jump
    mkdir -p "$hold"
    [[ -n "$frozen" ]] && kill -STOP "$wm_pid"
    CARDOMINE_SPLASH_HOLD_DIR="$hold" "$program" >"$work/$name.log" 2>&1 &
    app_pid=$!
    if [[ -n "$frozen" ]]; then
        # Longer than any wait for the window manager the program might make.
        sleep 1.5
        kill -CONT "$wm_pid"
    fi

    values=(1 11468 32732 46565 64212 74145 87898 88888)
    for jump in 1 2 3 4 5 6 7 8; do
        note="$hold/jump-$jump"
        for _ in $(seq 1 300); do
            [[ -f "$note" ]] && break
            kill -0 "$app_pid" 2>/dev/null || fail "$name: the program ended before jump $jump"
            sleep 0.1
        done
        [[ -f "$note" ]] || fail "$name: the splash did not reach jump $jump"
        window=$(awk '/^window/ {print $2}' "$note")
        value=$(awk '/^value/ {print $2}' "$note")
        [[ "$value" == "${values[jump - 1]}" ]] || fail "$name: jump $jump held at value $value"
        if [[ -n "$frozen" && $jump -ne 1 && $jump -ne 8 ]]; then
            touch "$hold/go-$jump"
            continue
        fi
        wait_viewable "$window"
        import -window "$window" -depth 8 "$work/jump-$jump.ppm" || fail "cannot grab the splash"
        cp "$work/jump-$jump.ppm" "${SPLASH_SHOTS:-$work}/splash-$name-jump-$jump.ppm" 2>/dev/null || true
        "$checker" "$work/jump-$jump.ppm" "$value" ||
            fail "$name: jump $jump: the splash is not on screen"
        touch "$hold/go-$jump"
    done
    # The first About box ends the run.
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    rm -rf "$CARDOMINE_DRIVE_C"
}

# Waits until the window is mapped and the window manager has framed it.
wait_viewable() {
    for _ in $(seq 1 100); do
        if xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            sleep 0.3
            return 0
        fi
        sleep 0.1
    done
    fail "the splash window was never mapped"
}

run_splash normal
run_splash slow frozen
echo "splash: all eight jumps reached the screen, at normal speed and on a slow machine"
