#!/usr/bin/env bash
# The splash's pixels reach the X server under a window manager: the program is
# stopped at each of the eight jumps of its count (the splash's test hook
# CARDOMINE_SPLASH_HOLD_DIR), the splash window is grabbed from the X server and the
# grab must show the fan-fold drawing, the labels and the bar at that jump's value.
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

CARDOMINE_SPLASH_HOLD_DIR="$work/hold" "$program" >"$work/program.log" 2>&1 &
app_pid=$!

values=(1 11468 32732 46565 64212 74145 87898 88888)
for jump in 1 2 3 4 5 6 7 8; do
    note="$work/hold/jump-$jump"
    for _ in $(seq 1 300); do
        [[ -f "$note" ]] && break
        kill -0 "$app_pid" 2>/dev/null || fail "the program ended before jump $jump"
        sleep 0.1
    done
    [[ -f "$note" ]] || fail "the splash did not reach jump $jump"
    window=$(awk '/^window/ {print $2}' "$note")
    value=$(awk '/^value/ {print $2}' "$note")
    [[ "$value" == "${values[jump - 1]}" ]] || fail "jump $jump held at value $value"
    import -window "$window" -depth 8 "$work/jump-$jump.ppm" || fail "cannot grab the splash"
    cp "$work/jump-$jump.ppm" "${SPLASH_SHOTS:-$work}/splash-jump-$jump.ppm" 2>/dev/null || true
    "$checker" "$work/jump-$jump.ppm" "$value" || fail "jump $jump: the splash is not on screen"
    touch "$work/hold/go-$jump"
done
echo "splash: all eight jumps reached the screen"
