#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, when any
# is missing. As root it runs apt-get; otherwise it prints the command to run.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config python3
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
    fonts-wine fonts-liberation2
    xvfb xauth xdotool imagemagick x11-utils icewm
    desktop-file-utils appstream python3-vobject
    clang libclang-rt-14-dev
    rsync exfat-fuse exfatprogs ntfs-3g fuse3 mount
)

missing=()
for p in "${packages[@]}"; do
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
