#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence line at the top of every source file that lacks it (after a "#!"
# line, and after the title line of a man page source), in the file's own comment
# syntax. Safe to run again: files that have the line are left alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
tag='SPDX-License-Identifier: GPL-3.0-or-later'
added=0
while IFS= read -r file; do
    path="$root/$file"
    head -n 3 "$path" | grep -q 'SPDX-License-Identifier:' && continue
    case "$file" in
        *.cpp | *.h) line="// $tag"; after=0 ;;
        *.scd) line="; $tag"; after=1 ;;
        *) line="# $tag"; after=0 ;;
    esac
    [[ $after -eq 0 ]] && head -n 1 "$path" | grep -q '^#!' && after=1
    tmp=$(mktemp "$path.XXXXXX")
    { head -n "$after" "$path"; printf '%s\n' "$line"; tail -n +"$((after + 1))" "$path"; } >"$tmp"
    chmod --reference="$path" "$tmp"
    mv "$tmp" "$path"
    added=$((added + 1))
done < <("$here/spdx-files.sh" "$root")
echo "add-spdx.sh: added the licence line to $added files"
