#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists the project's source files, one per line, relative to the source folder given
# (default: this repository): the files that carry the licence line. Data (samples,
# corpora, pictures, the desktop entry) is left out.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard
else
    find . -path ./build -prune -o -type f -print | sed 's|^\./||'
fi | grep -E '(\.(cpp|h|py|sh|cmake|scd)|(^|/)CMakeLists\.txt|^Makefile|^\.ci/run|^completion/cardomine-tool)$' \
   | sort
