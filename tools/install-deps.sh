#!/bin/sh
# Installs the Debian packages Tavlino needs to build, run and test.
# Uses sudo for apt-get when not run as root; does nothing when all are there.
set -e

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# python3-serial: pyserial's miniterm is the tests' other program on a lent port.
packages="cmake make g++ qtbase5-dev libqt5serialport5-dev fonts-dejavu-core python3-serial"
case " $* " in
*" --qt6 "*) packages="$packages qt6-base-dev qt6-serialport-dev dpkg-dev file" ;;
esac
case " $* " in
*" --ci "*) packages="$packages qt6-base-dev qt6-serialport-dev mmdebstrap qemu-system-x86 clang libclang-rt-14-dev clang-format clazy xvfb xauth openbox lintian appstream desktop-file-utils dpkg-dev at-spi2-core python3-pyatspi orca dbus x11-utils xdotool weston qt6-wayland" ;;
esac

# The Windows build fetches qtbase's source package, which needs a deb-src
# entry beside Debian's deb one: from the same archive the system already
# uses for bookworm.
case " $* " in
*" --windows "*)
    packages="$packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 icoutils dpkg-dev xz-utils perl python3 nsis unzip libimage-exiftool-perl xvfb xauth xdotool imagemagick"
    if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        archive=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
            awk '/^$/ {u=""} /^URIs:/ {u=$2} /^Suites:/ && u != "" && / bookworm( |$)/ {print u; exit}')
        [ -n "$archive" ] || archive=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
        [ -n "$archive" ] || { echo "install-deps: no bookworm archive in the apt sources to take source packages from" >&2; exit 1; }
        printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$archive" |
            $sudo tee /etc/apt/sources.list.d/tavlino-deb-src.sources >/dev/null
        $sudo apt-get update -qq
    fi
    ;;
esac

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
