#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Title bars on Wayland: the real program on Weston's headless back end, which draws
# no title bars of its own, so Qt would draw its own with minimize, maximize and
# close on every window. The first About box is grabbed from the compositor
# (weston-screenshooter) and must have no title bar: it is smaller on screen than
# the same box in a second run where Qt is told to draw its title bar.
#
#   wayland.sh PROGRAM      (exit 77 = skipped: no Weston, outside CI only)
set -euo pipefail

program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
for tool in weston weston-screenshooter convert; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
    skip "qt6-wayland is not installed"

work=$(mktemp -d)
weston_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$weston_pid" ]] && kill "$weston_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY QT_WAYLAND_DECORATION QT_WAYLAND_DISABLE_WINDOWDECORATION
# A plain green screen without panel or animations: every other pixel is a window.
cat >"$work/weston.ini" <<'INI'
[core]
idle-time=0
[shell]
background-color=0xff00ff00
panel-position=none
animation=none
startup-animation=none
close-animation=none
focus-animation=none
INI

# about_box NAME [ENV...]: runs the program on a fresh Weston until its first About
# box stands still on screen; prints the box's "width height" on screen.
about_box() {
    local name=$1 socket="cardomine-$$-$1" shot last="" size=""
    shift
    mkdir -p "$work/$name"
    # --debug offers the screenshot protocol; pixman needs no GPU.
    weston --backend=headless-backend.so --use-pixman --debug --width=1280 --height=1024 \
        --socket="$socket" --config="$work/weston.ini" >"$work/$name/weston.log" 2>&1 &
    weston_pid=$!
    for _ in $(seq 1 100); do
        [[ -S "$XDG_RUNTIME_DIR/$socket" ]] && break
        sleep 0.1
    done
    [[ -S "$XDG_RUNTIME_DIR/$socket" ]] || { cat "$work/$name/weston.log" >&2; fail "$name: Weston did not start"; }
    env "$@" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland \
        CARDOMINE_DRIVE_C="$work/$name/drive_c" "$program" >"$work/$name/program.log" 2>&1 &
    app_pid=$!
    # The splash (492 by 283) comes first; the About box is the next window, and it is
    # on screen when two grabs in a row show the same single window. (A screen with no
    # window at all trims to one pixel.)
    for _ in $(seq 1 120); do
        sleep 0.5
        rm -f "$work/$name"/wayland-screenshot-*.png
        (cd "$work/$name" && WAYLAND_DISPLAY="$socket" weston-screenshooter) >/dev/null 2>&1 || continue
        shot=$(ls "$work/$name"/wayland-screenshot-*.png 2>/dev/null | head -n 1)
        [[ -n "$shot" ]] || continue
        size=$(convert "$shot" -trim -format '%w %h' info: 2>/dev/null || true)
        if [[ -n "$size" && "$size" != "1 1" && "$size" != "1280 1024" && "$size" != "492 283" &&
            "$size" == "$last" ]]; then
            cp "$shot" "$work/$name.png"
            break
        fi
        last=$size
    done
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
    weston_pid=""
    [[ -f "$work/$name.png" ]] || fail "$name: the About box never stood still on screen"
    echo "$size"
}

read -r width height < <(about_box plain)
read -r qt_width qt_height < <(about_box qt-title-bar QT_WAYLAND_DECORATION=bradient)
echo "   About box on screen: ${width}x${height}; with Qt's title bar ${qt_width}x${qt_height}"
((qt_width > width && qt_height > height)) || fail "the About box has a title bar drawn by Qt"
echo "wayland: the About box has no title bar with minimize, maximize and close"
