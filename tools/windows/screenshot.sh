#!/bin/sh
# A screenshot of the Windows build under Wine and Xvfb, for the README:
#   tools/windows/screenshot.sh FOLDER OUTPUT.png
# FOLDER is the folder to hand out; it runs from there alone, with nothing of
# the cross build on Wine's path.
set -e
folder=$(cd "$1" && pwd)
output=$2
cache=${TAVLINO_WINDOWS_CACHE:-/var/cache/tavlino-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix-screenshot}
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
xvfb-run -a -s "-screen 0 800x600x24 -noreset" sh -c "
    wine '$folder/tavlino.exe' >/dev/null 2>&1 &
    window=\$(xdotool search --sync --name '^Tavlino\$' | head -1)
    sleep 3
    import -window \$window '$output'
    wineserver -k"
