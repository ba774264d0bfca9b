#!/bin/sh
# Runs a Windows program of the cross build under Wine, headless, with Qt's
# libraries and plugins from the cached Qt for Windows:
#   tools/windows/wine-run.sh PROGRAM.exe [ARGUMENTS...]
# WINEPREFIX defaults to a prefix of its own in the cache.
cache=${TAVLINO_WINDOWS_CACHE:-/var/cache/tavlino-windows}
qt=$cache/qt5
# Wine's drive Z: is the Unix root.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPATH="$(windows_path "$qt/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
# Wine does not hand variables named QT_* from Unix to the Windows process,
# so they go into the prefix's own environment. The offscreen platform reads
# fonts from a folder rather than from Windows.
if [ ! -e "$WINEPREFIX/.tavlino-environment" ]; then
    wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /t REG_SZ /f \
        /d "$(windows_path /usr/share/fonts/truetype/dejavu)" >/dev/null 2>&1 &&
        wineserver -w && touch "$WINEPREFIX/.tavlino-environment"
fi
# The tests' pty behind a COM port needs the shim in the Wine process.
if [ -n "${TAVLINO_WINE_PRELOAD:-}" ]; then
    export LD_PRELOAD=$TAVLINO_WINE_PRELOAD
fi
# A QtTest log written to a file (-o FILE,txt) is shown when the test ends:
# under Wine with no console, "-o -,txt" would reach the debugger channel.
log=""
for argument; do
    case $argument in *,txt) log=${argument%,txt} ;; esac
done
[ -n "$log" ] && rm -f "$log"
status=0
wine "$@" || status=$?
[ -n "$log" ] && [ -f "$log" ] && cat "$log"
exit "$status"
