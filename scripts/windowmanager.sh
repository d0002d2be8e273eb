# Sourced by the scripts that run the real program on an X server (the end-to-end
# tests, the screenshot): starts IceWM, the window manager users run it under, and
# waits until it manages the screen. Needs DISPLAY; the caller's EXIT trap calls
# stop_window_manager.

wm_pid=""

start_window_manager() {
    command -v icewm >/dev/null || { echo "icewm is not installed" >&2; return 1; }
    local config=${1:-$(mktemp -d)}
    mkdir -p "$config"
    # No taskbar: it would cover the bottom of the screen the windows are centred on.
    printf 'ShowTaskBar=0\nTaskBarAutoHide=0\n' >"$config/preferences"
    ICEWM_PRIVCFG=$config icewm >/dev/null 2>&1 &
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
    echo "icewm did not start" >&2
    return 1
}

stop_window_manager() {
    [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null || true
    wm_pid=""
}
