#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives cardomine-tool's bash completion as bash does on Tab: for each line typed so
# far, the words it offers must be exactly the expected ones.
#   completion.sh COMPLETION_FILE
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/backup" "$work/vdir"
touch "$work/phone.vcf" "$work/google.csv" "$work/photo.png"
cd "$work"

failures=0
# expect "LINE TYPED" "WORDS OFFERED (sorted, space separated)"
expect()
{
    local line=$1 want=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _cardomine_tool cardomine-tool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed 's|/$||' | sort | paste -sd ' ')
    if [[ "$got" != "$want" ]]; then
        echo "FAIL: '$line' offered '$got', expected '$want'"
        failures=$((failures + 1))
    else
        echo "ok: '$line' -> '$got'"
    fi
}

expect "cardomine-tool " "adopt check export find import query show sync"
expect "cardomine-tool s" "show sync"
expect "cardomine-tool --" "--help --help-all --version"
expect "cardomine-tool export --" "--format --help --output"
expect "cardomine-tool export --format " "csv vcard"
expect "cardomine-tool import --format v" "vcard"
expect "cardomine-tool find --format " "json text"
expect "cardomine-tool show --format j" "json"
expect "cardomine-tool import --" "--dry-run --format --help"
expect "cardomine-tool adopt --" "--dry-run --help"
expect "cardomine-tool sync --" "--help --vdir"
expect "cardomine-tool query --" "--help"
expect "cardomine-tool import " "backup google.csv phone.vcf vdir"
expect "cardomine-tool adopt " "backup vdir"
expect "cardomine-tool sync --vdir " "backup vdir"
expect "cardomine-tool sync --vdir v" "vdir"
expect "cardomine-tool export --format csv --output p" "phone.vcf photo.png"
[[ $failures -eq 0 ]] || { echo "$failures completions wrong"; exit 1; }
