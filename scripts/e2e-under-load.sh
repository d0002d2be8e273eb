#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The end-to-end test ten times in a row, with two busy processes per core running
# beside it: windows placed while the machine is loaded must still be centred.
#
#   e2e-under-load.sh [BUILD_FOLDER]     (default build/dev)
set -euo pipefail

build=${1:-build/dev}
busy=()
cleanup() {
    local pid
    for pid in "${busy[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

for _ in $(seq 1 $((2 * $(nproc)))); do
    (while :; do :; done) &
    busy+=($!)
done
echo "e2e-under-load: ${#busy[@]} busy processes beside the end-to-end test"
# The test script itself, without ctest's time limit: under this load a run takes
# several times as long as on an idle machine.
here=$(dirname "$(realpath "$0")")
for run in $(seq 1 10); do
    echo "e2e-under-load: run $run of 10"
    "$here/../tests/e2e/e2e.sh" "$build/app/cardomine" "$here/../tests/e2e/checkfiles.py" ||
        { echo "e2e-under-load: run $run failed" >&2; exit 1; }
done
echo "e2e-under-load: ten runs in a row passed"
