#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refreshes docs/screenshot.png: the real program on a fresh drive root under Xvfb and
# IceWM, its start-up boxes answered with xdotool, the main window captured with
# ImageMagick, its window manager frame included. With QT_SCALE_FACTOR=2 in the
# environment the screen is made large enough for the doubled window.
#   scripts/screenshot.sh PROGRAM [OUTPUT]
set -euo pipefail
program=$(realpath "$1")
output=$(realpath -m "${2:-docs/screenshot.png}")

if [[ -z "${SHOT_INNER:-}" ]]; then
    screen=1024x768x24
    [[ "${QT_SCALE_FACTOR:-1}" == 1 ]] || screen=1600x1200x24
    SHOT_INNER=1 exec xvfb-run -a -s "-screen 0 $screen -nolisten tcp" "$0" "$program" "$output"
fi

# shellcheck source=windowmanager.sh
source "$(dirname "$(realpath "$0")")/windowmanager.sh"

work=$(mktemp -d)
pid=""
trap 'kill $pid 2>/dev/null || true; stop_window_manager; rm -rf "$work"' EXIT
export CARDOMINE_DRIVE_C="$work/drive_c" HOME="$work"
unset QT_QPA_PLATFORM
start_window_manager "$work/icewm"
"$program" >/dev/null 2>&1 &
pid=$!

press() { # title-regex key
    local id=""
    for _ in $(seq 1 200); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && break
        sleep 0.1
    done
    [[ -n "$id" ]] || { echo "no window '$1'" >&2; exit 1; }
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.2
    xdotool key "$2"
    sleep 0.3
}

for title in '^About Cardomine$' '^Please Help If You Can!$' '^File Creation Notice!$' \
             '^File Update Completed!$'; do
    press "$title" Return
done
sleep 1
main=$(xdotool search --onlyvisible --name '^Cardomine.tm. 1.0' | head -n 1)
mkdir -p "$(dirname "$output")"
# The window manager's frame: the program window's ancestor just below the root.
root=$(xwininfo -root | awk '/Window id/ {print $4}')
frame=$main
while parent=$(xwininfo -children -id "$frame" | awk '/Parent window id/ {print $4}') &&
    [[ -n "$parent" && "$parent" != "$root" ]]; do
    frame=$parent
done
import -window "$frame" "$output"
echo "wrote $output"
