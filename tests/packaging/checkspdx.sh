#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file names its licence in its first lines; prints those that do not.
set -euo pipefail
root=$1
missing=0
while IFS= read -r file; do
    if ! head -n 3 "$root/$file" | grep -q 'SPDX-License-Identifier: GPL-3\.0-or-later$'; then
        echo "no licence line: $file"
        missing=$((missing + 1))
    fi
done < <("$root/scripts/spdx-files.sh" "$root")
[[ $missing -eq 0 ]] || { echo "$missing files lack the licence line (scripts/add-spdx.sh adds it)"; exit 1; }
echo "every source file names its licence"
