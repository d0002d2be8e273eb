#!/usr/bin/env bash
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
ctest --test-dir "$build" -R '^e2e_program$' --repeat until-fail:10 --output-on-failure
