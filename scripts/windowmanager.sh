# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that run the real program on an X server (the end-to-end
# tests, the screenshot): starts a window manager, IceWM unless told Openbox, and
# waits until it manages the screen. Needs DISPLAY; the caller's EXIT trap calls
# stop_window_manager.

wm_pid=""

# start_window_manager [CONFIG_FOLDER [icewm|openbox]]
# A window manager that ends at once (it could not open the display, or crashed) is
# started again, up to three times; its last words are printed when all fail.
start_window_manager() {
    local config=${1:-$(mktemp -d)} wm=${2:-icewm} try
    command -v "$wm" >/dev/null || { echo "$wm is not installed" >&2; return 1; }
    mkdir -p "$config"
    for try in 1 2 3; do
        if [[ "$wm" == openbox ]]; then
            # Openbox's own default configuration, as installed.
            openbox --replace --sm-disable --config-file /etc/xdg/openbox/rc.xml \
                >"$config/wm.log" 2>&1 &
        else
            # No taskbar: it would cover the bottom of the screen the windows are centred on.
            printf 'ShowTaskBar=0\nTaskBarAutoHide=0\n' >"$config/preferences"
            ICEWM_PRIVCFG=$config icewm --replace >"$config/wm.log" 2>&1 &
        fi
        wm_pid=$!
        for _ in $(seq 1 100); do
            # A managing window manager names its check window on the root window.
            if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
                sleep 0.3
                return 0
            fi
            kill -0 "$wm_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$wm_pid" 2>/dev/null || true
        wait "$wm_pid" 2>/dev/null || true
        sleep 0.5
    done
    echo "$wm did not start after $try tries; it said:" >&2
    cat "$config/wm.log" >&2
    wm_pid=""
    return 1
}

stop_window_manager() {
    if [[ -n "$wm_pid" ]]; then
        kill "$wm_pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$wm_pid" 2>/dev/null || break
            sleep 0.1
        done
        # The next window manager is known to be up by this mark.
        xprop -root -remove _NET_SUPPORTING_WM_CHECK 2>/dev/null || true
    fi
    wm_pid=""
}
