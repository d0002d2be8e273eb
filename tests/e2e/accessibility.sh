#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program as a screen reader sees it through AT-SPI: under Xvfb and IceWM, on
# a session bus of its own with the accessibility bus and registry that at-spi2-core
# starts on demand, driven by real keys; atspi.py reads roles, names and states.
#
#   accessibility.sh PROGRAM CHECKER   (exit 77 = skipped: no X server, outside CI only)
set -euo pipefail

program=$(realpath "$1")
checker=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

# shellcheck source=underx.sh
source "$here/underx.sh"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
[[ -x /usr/libexec/at-spi-bus-launcher ]] || skip "at-spi2-core is not installed"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"
under_xvfb 1280x1024x24 "xdotool icewm xprop" "$@"

# shellcheck source=../../scripts/windowmanager.sh
source "$here/../../scripts/windowmanager.sh"

work=$(mktemp -d)
trap 'stop_window_manager; rm -rf "$work"' EXIT
export CARDOMINE_DRIVE_C="$work/drive_c"
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" XDG_CONFIG_HOME="$work/home/config"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
start_window_manager "$work/icewm" || { echo "FAIL: no window manager" >&2; exit 1; }

# Qt serves AT-SPI only when told a screen reader is on; say so for this program.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
dbus-run-session -- /usr/bin/python3 "$checker" "$program"
