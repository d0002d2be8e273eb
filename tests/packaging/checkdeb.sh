#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package from this build, unpacks it, runs the packaged
# cardomine-tool and the packaged program's start-up (offscreen, through the splash's
# eight jumps to the About box it then waits on), and runs lintian on it: no error and
# no warning outside the suppression list.
#   checkdeb.sh SOURCE_DIR BUILD_DIR VERSION SCRATCH
set -euo pipefail
source_dir=$1
build=$2
version=$3
scratch=$4
rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

deb=$("$source_dir/packaging/makedeb.sh" "$build" "$scratch" "$version")
[[ $(basename "$deb") == "cardomine_${version}_$(dpkg --print-architecture).deb" ]] ||
    fail "the package is named $(basename "$deb")"
root=$scratch/root
dpkg-deb -x "$deb" "$root"

for path in usr/bin/cardomine usr/bin/cardomine-tool \
    usr/share/applications/com.pelvarin.Cardomine.desktop \
    usr/share/metainfo/com.pelvarin.Cardomine.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/com.pelvarin.Cardomine.svg \
    usr/share/icons/hicolor/48x48/apps/com.pelvarin.Cardomine.png \
    usr/share/man/man1/cardomine.1.gz usr/share/man/man1/cardomine-tool.1.gz \
    usr/share/bash-completion/completions/cardomine-tool \
    usr/share/doc/cardomine/copyright usr/share/doc/cardomine/changelog.gz; do
    [[ -f $root/$path ]] || fail "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libqt6svg6 libc6; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

# The packaged binaries run with the system's libraries.
reported=$("$root/usr/bin/cardomine-tool" --version) || fail "cardomine-tool --version failed"
[[ $reported == "cardomine-tool $version" ]] || fail "cardomine-tool --version said: $reported"

hold=$scratch/hold
mkdir -p "$hold" "$scratch/drive"
CARDOMINE_DRIVE_C=$scratch/drive CARDOMINE_SPLASH_HOLD_DIR=$hold QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/cardomine" >"$scratch/program.log" 2>&1 &
pid=$!
for jump in 1 2 3 4 5 6 7 8; do
    for ((tick = 0; tick < 600; tick++)); do
        [[ -e $hold/jump-$jump ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -e $hold/jump-$jump ]]; then
        fail "the packaged program did not reach the splash's jump $jump: $(cat "$scratch/program.log")"
        break
    fi
    touch "$hold/go-$jump"
done
# After the count the program waits on the first About box: still running.
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the packaged program ended during start-up: $(cat "$scratch/program.log")"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

lintian --fail-on error,warning --suppress-tags-from-file "$source_dir/packaging/lintian-suppressions" \
    --tag-display-limit 0 "$deb" || fail "lintian found errors or warnings (above)"
[[ $failures -eq 0 ]] && echo "the package $(basename "$deb") installs, runs and passes lintian"
[[ $failures -eq 0 ]]
