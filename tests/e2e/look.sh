#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The classic look on screen: the real program under Xvfb and IceWM at 1x and at 2x
# (QT_SCALE_FACTOR=2) on a fresh card file of three contacts. Grabs the first About box, the main
# window with the Last Name box selected, and a tooltip, then lookpixels.py checks
# their pixels.
#
#   look.sh PROGRAM CHECKER MAKECARDFILE   (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
checker=$(realpath "$2")
makecardfile=$(realpath "$3")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
under_xvfb 1280x1024x24 "xdotool icewm xprop xwininfo import" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

# shellcheck source=xdrive.sh
source "$here/xdrive.sh"
fresh_home
unset QT_STYLE_OVERRIDE
start_window_manager "$work/icewm" || fail "no window manager"

grab() { # window file
    sleep 0.5
    import -window "$1" -depth 8 "$2" || fail "cannot grab $2"
}

for scale in 1 2; do
    export CARDOMINE_DRIVE_C="$work/drive_c-$scale"
    mkdir -p "$CARDOMINE_DRIVE_C"
    "$makecardfile" || fail "cannot write the card file"
    QT_SCALE_FACTOR=$scale "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
    grab "$(wait_window '^About Cardomine$')" "$work/about-$scale.ppm"
    keys_to '^About Cardomine$' Return
    keys_to '^Please Help If You Can!$' Return
    # Tab into Last Name, which selects its text.
    keys_to "$MAIN" Tab
    main=$(wait_window "$MAIN")
    grab "$main" "$work/main-$scale.ppm"
    if [[ $scale == 1 ]]; then
        # Rest the pointer on the Options button until its tooltip shows.
        eval "$(xdotool getwindowgeometry --shell "$main")"
        xdotool mousemove --sync $((X + 7680 / 15 + 20)) $((Y + 600 / 15 + 20))
        sleep 2
        grab root "$work/tooltip-$scale.ppm"
        xdotool mousemove 0 0
    fi
    keys_to "$MAIN" Escape
    keys_to '^Exit\?$' Return
    for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    app_pid=""
done
/usr/bin/python3 "$checker" "$work"
