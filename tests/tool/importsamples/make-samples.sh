#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Remakes the import samples written by other programs: abook (its vCard 2 export),
# khard (vCard 3.0 and 4.0) and Debian's python3-vobject (vCard 3.0, photos), and the
# UTF-16 and CR CR LF forms of hand-written samples (iconv, sed). The hand-written
# ones: handwritten-2.1.vcf, android-2.1.vcf (Android's quirks), apple-3.0.vcf,
# kind-4.0.vcf and the CSV files. Run from this folder; needs abook, khard,
# python3-vobject and iconv. The samples are committed so that the tests do not need
# these programs; khard writes a random UID and the time into
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
/usr/bin/python3 "$here/vobject-photo.py" "$here/vobject-photo.vcf"

# The same cards as other programs' encodings and line ends: UTF-16 as Windows
# programs write it (with a byte order mark, and big endian without one), and the
# CR CR LF line ends of older iPhone exports.
iconv -f UTF-8 -t UTF-16 "$here/apple-3.0.vcf" >"$here/apple-3.0-utf16.vcf"
iconv -f UTF-8 -t UTF-16BE "$here/kind-4.0.vcf" >"$here/kind-4.0-utf16be.vcf"
iconv -f UTF-8 -t UTF-16LE "$here/thunderbird.csv" >"$here/thunderbird-utf16le.csv"
sed 's/\r$//; s/$/\r\r/' "$here/apple-3.0.vcf" >"$here/apple-3.0-crcrlf.vcf"
