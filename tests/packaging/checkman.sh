#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The man pages render without a single groff warning, and cardomine-tool's page names
# every command and option that `cardomine-tool --help` and each `COMMAND --help` list.
#   checkman.sh TOOL MAN_FOLDER
set -euo pipefail
tool=$1
man=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for page in "$man"/cardomine.1 "$man"/cardomine-tool.1; do
    [[ -s $page ]] || { fail "$page was not built"; continue; }
    warnings=$(groff -ww -z -man "$page" 2>&1) || fail "groff failed on $page"
    [[ -z $warnings ]] || fail "groff warns about $page: $warnings"
done

text=$(groff -man -Tutf8 -P-cbou "$man/cardomine-tool.1" 2>/dev/null | tr -s ' ')
overview=$("$tool" --help)
commands=$(sed -n '/^Commands/,/^$/p' <<<"$overview" | sed -n 's/^  \([a-z]\+\).*/\1/p')
[[ $(wc -w <<<"$commands") -ge 8 ]] || fail "--help lists too few commands: $commands"
helps=$overview
for command in $commands; do
    grep -qF "cardomine-tool $command" <<<"$text" || fail "the page does not show 'cardomine-tool $command'"
    helps+=$'\n'$("$tool" "$command" --help) || fail "$command --help failed"
done
options=$(grep -oE '(^|[ ,\[])--?[a-z][a-z-]*' <<<"$helps" | tr -d ' ,[' | sort -u)
for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$text" || fail "the page does not name $option"
done
echo "checked $(wc -w <<<"$commands") commands and $(wc -w <<<"$options") options"
[[ $failures -eq 0 ]]
