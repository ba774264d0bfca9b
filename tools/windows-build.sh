#!/bin/bash
# Cross-builds Tavlino for 64-bit Windows: the folder that runs on Windows as
# it is, its NSIS installer and its zip.
#
#   tools/windows-build.sh [--qt-only]
#
# The first run builds a minimal Qt 5.15 for Windows (qtbase from Debian's
# source package, the serial port module from the vendored tarball) into
# $TAVLINO_WINDOWS_CACHE (default /var/cache/tavlino-windows); later runs
# reuse it. Needs the packages that tools/install-deps.sh --windows installs
# and a deb-src entry for bookworm main.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
cache=${TAVLINO_WINDOWS_CACHE:-/var/cache/tavlino-windows}
build=${TAVLINO_WINDOWS_BUILD:-$source_dir/build-windows}
vendor=${TAVLINO_VENDOR:-$source_dir/../shared/vendor}
qt=$cache/qt5
jobs=$(nproc)

# Qt's mkspec calls x86_64-w64-mingw32-g++ and friends by that name; point
# those names at the posix thread-model compilers without touching the
# system's alternatives.
mkdir -p "$cache/bin"
for tool in gcc g++; do
    ln -sf "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$cache/bin/x86_64-w64-mingw32-$tool"
done
export PATH=$cache/bin:$PATH

build_qtbase() {
    local src=$cache/src
    mkdir -p "$src"
    if [ ! -d "$src/qtbase" ]; then
        (cd "$src" && apt-get source --download-only qtbase-opensource-src &&
            dpkg-source -x qtbase-opensource-src_*.dsc qtbase)
    fi
    rm -rf "$cache/qtbase-build"
    mkdir -p "$cache/qtbase-build"
    cd "$cache/qtbase-build"
    # The +dfsg tarball lacks the Wintab headers: no tablet events.
    "$src/qtbase/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
        -prefix "$qt" -release -opensource -confirm-license -nomake examples -nomake tests \
        -no-opengl -no-dbus -no-icu -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-pcre \
        -qt-harfbuzz -no-feature-sql -no-feature-tabletevent
    make -j"$jobs"
    make install
    cd "$source_dir"
}

build_qtserialport() {
    local src=$cache/qtserialport-everywhere-src-5.15.8
    rm -rf "$src"
    tar -C "$cache" -xf "$vendor/qtserialport-everywhere-src-5.15.8.tar.xz"
    cd "$src"
    # A plain tree: the forwarding headers are generated, not shipped.
    "$qt/bin/syncqt.pl" -module QtSerialPort -version 5.15.8
    "$qt/bin/qmake"
    make -j"$jobs"
    make install
    cd "$source_dir"
}

time_step() {
    local started=$SECONDS
    "$@"
    echo "$1: $((SECONDS - started)) s"
}

if [ ! -e "$qt/lib/libQt5Widgets.a" ] && [ ! -e "$qt/bin/Qt5Widgets.dll" ]; then
    time_step build_qtbase
fi
if [ ! -e "$qt/bin/Qt5SerialPort.dll" ]; then
    time_step build_qtserialport
fi
echo "Qt for Windows: $qt"
[ "${1:-}" = "--qt-only" ] && exit 0

# Tavlino itself, and the test programs that run under Wine.
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source_dir/tools/windows/mingw-w64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_BUILD_TYPE=Release -DTAVLINO_BENCH=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$source_dir/tools/windows/wine-run.sh"
cmake --build "$build" -j"$jobs"
# The shim that makes a pty a UART that Wine takes for a serial port, for the
# tests.
gcc -O2 -Wall -shared -fPIC -o "$build/ptyuart.so" "$source_dir/tests/ptyuart.c" -ldl

# The folder a Windows user gets, from the install rules, and the installer
# and zip of it. Dated by the last commit, so that two builds of one commit
# give the same bytes.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)}
dist=$build/tavlino-windows
rm -rf "$dist"
cmake --install "$build" --prefix "$dist"
(cd "$build" && cpack)

echo "Windows build:   $build"
echo "Windows folder:  $dist"
echo "Installer:       $(ls "$build"/tavlino-*-win64.exe)"
echo "Zip:             $(ls "$build"/tavlino-*-win64.zip)"
