# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the end-to-end tests: skip(), and a re-run of the calling script on a
# fresh Xvfb server of its own.

skip() {
    # CI has everything installed: there a missing piece is a failure, not a skip.
    if [[ "${CI:-}" == "true" ]]; then
        echo "FAIL: $*" >&2
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}

# under_xvfb SCREEN "TOOL..." ARG...: checks that the tools are installed, then runs
# the calling script again with its ARGs under xvfb-run at SCREEN (e.g. 1024x768x24).
# Returns at once when the script already runs there.
under_xvfb() {
    [[ -n "${CARDOMINE_UNDER_XVFB:-}" ]] && return 0
    local screen=$1 tool
    for tool in xvfb-run $2; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
    shift 2
    xvfb-run -a -s "-screen 0 $screen -nolisten tcp" true 2>/dev/null ||
        skip "Xvfb cannot start here"
    CARDOMINE_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 $screen -nolisten tcp" "$0" "$@"
}
