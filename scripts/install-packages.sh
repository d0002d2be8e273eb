#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages of the named groups, when any is missing. As root it
# runs apt-get; otherwise it prints the command to run and fails.
#
#   install-packages.sh [GROUP...]     (no group: run)
#
#   run         build and run the program (compiler, CMake, Qt, fonts)
#   test        make test: Xvfb, two window managers (IceWM, Openbox)
#               and xdotool for the end-to-end runs,
#               the desktop-file and vCard validators, khard, FUSE file systems and
#               rsync, Radicale and vdirsyncer for the sync run, strace to slow the
#               program's writes in the kill runs, at-spi2-core, its Python bindings
#               and a session bus for the screen-reader run, Weston and Qt's Wayland
#               plugin for the Wayland run
#   package     make deb and its test: scdoc (the man pages), groff, bash-completion,
#               dpkg-dev (dpkg-shlibdeps) and lintian
#   asan        make asan-test: the test group (GCC brings its own sanitizers)
#   fuzz        make fuzz: clang and its libFuzzer runtime
#   bench       make bench: the programs it is compared with (abook, khard,
#               python3-vobject); a row whose program is missing is skipped
#   screenshot  make screenshot: Xvfb, IceWM, xdotool, ImageMagick
#
# `make run` asks only for the run group, so a machine without the test, package or
# fuzz packages can still build and run the program; `make test` asks for the test and
# package groups.
set -euo pipefail

declare -A group
group[run]="cmake ninja-build g++ make pkg-config python3
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev libxcb1-dev
    fonts-wine fonts-liberation2"
group[display]="xvfb xauth xdotool imagemagick x11-utils icewm"
group[test]="${group[display]} openbox desktop-file-utils appstream python3-vobject khard
    rsync exfat-fuse exfatprogs ntfs-3g fuse3 mount radicale vdirsyncer strace systemd
    at-spi2-core python3-pyatspi dbus-daemon weston qt6-wayland"
group[package]="scdoc groff-base bash-completion dpkg-dev lintian"
group[asan]="${group[test]} ${group[package]}"
group[fuzz]="clang libclang-rt-14-dev"
group[bench]="abook khard python3-vobject"
group[screenshot]="${group[display]}"

[[ $# -eq 0 ]] && set -- run
packages=()
for name in "$@"; do
    if [[ -z "${group[$name]+set}" ]]; then
        echo "install-packages.sh: unknown group '$name' (run, test, package, asan, fuzz, bench, screenshot)" >&2
        exit 2
    fi
    read -r -d '' -a list <<<"${group[$name]}" || true
    packages+=("${list[@]}")
done

missing=()
for p in "${packages[@]}"; do
    [[ " ${missing[*]} " == *" $p "* ]] && continue
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "    sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
