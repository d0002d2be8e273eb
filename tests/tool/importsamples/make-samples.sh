#!/usr/bin/env bash
# Remakes the import samples written by other programs: abook (its vCard 2 export),
# khard (vCard 3.0 and 4.0) and Debian's python3-vobject (vCard 3.0). Run from this
# folder; needs abook, khard and python3-vobject. The samples are committed so that
# the tests do not need these programs; khard writes a random UID and the time into
# each card, so a remade sample differs in those lines.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -f "$here/abook.vcf"
abook --convert --informat abook --infile "$here/abook.abook" \
      --outformat vcard --outfile "$here/abook.vcf"

for version in 3.0 4.0; do
    mkdir -p "$work/$version"
    cat >"$work/khard-$version.conf" <<CONF
[addressbooks]
[[book]]
path = $work/$version
[general]
default_action = list
editor = /bin/true
merge_editor = /bin/true
[vcard]
preferred_version = $version
CONF
    # Two cards in one file, in the order they were made.
    : >"$here/khard-$version.vcf"
    for sample in khard-1 khard-2; do
        khard -c "$work/khard-$version.conf" new -a book -i "$here/$sample.yaml" >/dev/null
        cat "$work/$version"/*.vcf >>"$here/khard-$version.vcf"
        rm "$work/$version"/*.vcf
    done
done

/usr/bin/python3 "$here/vobject-sample.py" "$here/vobject.vcf"
