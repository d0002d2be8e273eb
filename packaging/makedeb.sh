#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes cardomine_<version>_<arch>.deb from a finished build, compiling nothing: the
# build is installed under /usr into a staging folder (binaries stripped), the
# documentation Debian asks for is added, and the run-time dependencies are worked
# out from the binaries with dpkg-shlibdeps.
#   makedeb.sh BUILD_DIR OUTPUT_DIR VERSION
# Prints the package's path.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$3
here=$(cd "$(dirname "$0")" && pwd)
arch=$(dpkg --print-architecture)
package=cardomine

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# dpkg-shlibdeps expects Debian's source layout: debian/control, debian/<package>/.
root=$work/debian/$package
mkdir -p "$root/DEBIAN"
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >/dev/null

# Debian's layout: compressed man pages and changelog, the copyright file.
doc=$root/usr/share/doc/$package
mkdir -p "$doc"
install -m 0644 "$here/copyright" "$doc/copyright"
gzip -9n -c "$here/changelog" >"$doc/changelog.gz"
if [[ -d $root/usr/share/man ]]; then
    find "$root/usr/share/man" -type f ! -name '*.gz' -exec gzip -9n {} +
fi
# Owned by root, readable by all: nothing in the package is private.
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod go-w,a+r {} +

# Run-time dependencies from the libraries the binaries link.
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" \
    >"$work/debian/control"
(cd "$work" && dpkg-shlibdeps -O -e"$root/usr/bin/cardomine" -e"$root/usr/bin/cardomine-tool") \
    >"$work/substvars"
depends=$(sed -n 's/^shlibs:Depends=//p' "$work/substvars")
[[ -n $depends ]] || { echo "makedeb.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: Pelvarin <cardomine@pelvarin.example>
Installed-Size: $size
Depends: $depends
Recommends: fonts-liberation2, fonts-wine
Suggests: vdirsyncer
Section: misc
Priority: optional
Description: small single-user card file for contacts
 Cardomine keeps a card file of contacts: first and last name, company,
 address, phones, a fax number or e-mail address, and free-text notes. One
 window shows one contact at a time and a scroll bar browses them.
 .
 The companion command cardomine-tool exports the contacts to vCard or CSV,
 imports vCard and CSV files, keeps a folder of vCards in step with them, and
 finds contacts from the shell, also as the address book of mutt, neomutt and
 aerc.
CONTROL
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/${package}_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
