#!/bin/bash
# Builds, tests and packages Tavlino on Debian 13 (trixie, Qt 6.8) in a fresh
# chroot made from Debian's archive, as a new user there would:
#   tools/trixie-check.sh [DEB]
# 1. mmdebstrap makes the chroot; /proc, /dev and /dev/pts (the tests' ptys)
#    are mounted into it.
# 2. The README's package command runs first, on the bare system, as on a
#    newcomer's machine: install-deps.sh, the Qt 6 build, cpack and the
#    install of the package; it is started for two seconds.
# 3. Then trixie's lintian and appstreamcli check the package (and a DEB
#    built elsewhere, on Debian 12), and it is removed again.
# 4. The Qt 6 build with -Werror and the whole test suite run offscreen.
# 5. trixie's Orca listens to the program built there (tools/orca-check.py).
# Everything is unmounted, nothing is left running, and the chroot goes.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
host_deb=${1:+$(realpath "$1")}
work=$(mktemp -d /var/tmp/tavlino-trixie.XXXXXX)
root=$work/root
mounted=()

step() { printf '\n--- trixie: %s (%d s)\n' "$*" "$SECONDS"; }

cleanup() {
    # Whatever still runs inside the chroot would keep the mounts busy.
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -9 "${proc#/proc/}" 2>/dev/null
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}"
    done
    if grep -q " $root" /proc/mounts; then
        echo "trixie: still mounted under $root, leaving $work in place"
        return
    fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

in_chroot() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 /bin/sh -ec "cd /src; $*"; }

step "making the chroot"
# With no archive named, mmdebstrap takes Debian's own, updates and security
# included.
mmdebstrap --quiet --variant=apt trixie "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
mkdir "$root/src"
git -C "$source_dir" ls-files -z --cached --others --exclude-standard | (cd "$source_dir" && tar --null -T - -cf -) | tar -x -C "$root/src"

# Word for word as the README gives it, but for sudo: the chroot runs as
# root and has none. apt-get's question before it installs the package's
# recommends is answered yes, as the person at the keyboard would.
echo 'APT::Get::Assume-Yes "true";' >"$root/etc/apt/apt.conf.d/90tavlino-yes"
package_command=$(grep -m1 '^    ./tools/install-deps.sh --qt6 .*cpack -G DEB' "$source_dir/README.md" | sed 's/^ *//; s/sudo //g')
[ -n "$package_command" ] || { echo "trixie: no package command in the README"; exit 1; }

step "the README's package command on a bare system"
echo "$package_command"
in_chroot "$package_command" >/dev/null
in_chroot 'dpkg-query -W -f="\${Package} \${Version}\n" qt6-base-dev qt6-serialport-dev g++ cmake tavlino'
in_chroot 'dpkg-deb -f build-qt6/tavlino_*.deb Depends'

step "starting the installed package for 2 s"
in_chroot 'status=0; XDG_RUNTIME_DIR=/tmp QT_QPA_PLATFORM=offscreen timeout 2 /usr/bin/tavlino || status=$?
    [ "$status" -eq 124 ] || { echo "the installed tavlino did not keep running (status $status)"; exit 1; }
    echo "the installed /usr/bin/tavlino ran for 2 s on $(dpkg-query -W -f="\${Version}" libqt6core6t64)"'

step "lintian and appstreamcli, then removing the package"
in_chroot 'apt-get install -y -qq --no-install-recommends lintian appstream desktop-file-utils >/dev/null'
in_chroot 'lintian --fail-on error,warning build-qt6/tavlino_*.deb && echo "lintian: no error, no warning"'
in_chroot 'appstreamcli validate --no-net build-qt6/*.metainfo.xml && desktop-file-validate resources/*.desktop'
if [ -n "$host_deb" ]; then
    cp "$host_deb" "$root/src/host.deb"
    in_chroot 'lintian --fail-on error,warning host.deb && echo "lintian on the Debian 12 package: no error, no warning"'
fi
in_chroot 'apt-get remove -y -qq tavlino >/dev/null'

step "Qt 6 build with -Werror, and the tests"
in_chroot 'cmake -S . -B build-qt6 -DTAVLINO_QT=6 -DTAVLINO_WERROR=ON >/dev/null && cmake --build build-qt6 -j2 >/dev/null'
in_chroot 'ctest --test-dir build-qt6 --output-on-failure'

step "what a person hears with trixie's Orca and Qt 6.8"
in_chroot 'apt-get install -y -qq --no-install-recommends orca at-spi2-core dbus-daemon dbus-bin xvfb xauth openbox xdotool x11-utils >/dev/null'
in_chroot 'dpkg-query -W -f="\${Package} \${Version}\n" orca at-spi2-core'
in_chroot './tools/orca-check.py build-qt6/tavlino'
step "done"
