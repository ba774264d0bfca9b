#!/bin/bash
# Cross-builds Tavlino for 64-bit Windows and gathers a folder that runs on
# Windows as it is.
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
# The shim that lets Wine take a pty for a serial port, for the tests.
gcc -O2 -Wall -shared -fPIC -o "$build/ptyserial.so" "$source_dir/tools/windows/ptyserial.c" -ldl

# The folder a Windows user gets: the program, Qt's libraries and plugins,
# and the compiler's runtime.
dist=$build/tavlino-windows
rm -rf "$dist"
mkdir -p "$dist/platforms" "$dist/styles"
cp "$build/tavlino.exe" "$dist/"
for module in Core Gui Widgets SerialPort; do
    cp "$qt/bin/Qt5$module.dll" "$dist/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$dist/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
cp "$runtime/libgcc_s_seh-1.dll" "$runtime/libstdc++-6.dll" "$dist/"
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$dist/"
x86_64-w64-mingw32-strip --strip-unneeded "$dist"/*.exe "$dist"/*.dll

echo "Windows build:   $build"
echo "Windows folder:  $dist (zip it and hand it out)"
