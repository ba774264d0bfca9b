#!/bin/sh
# Screenshots of the real window under Xvfb, for the README:
#   tools/screenshot.sh BUILD_DIR               docs/tavlino.png and docs/about.png
#   tools/screenshot.sh BUILD_DIR 192 NAME      docs/NAME.png at 192 dpi (a 200% screen)
# Needs xvfb, xauth, x11-xserver-utils, xdotool and imagemagick.
set -e
build=${1:-build}
dpi=${2:-96}
name=${3:-}
config=$(mktemp -d)
chmod 700 "$config"
xvfb-run -a -s "-screen 0 1400x1000x24 -dpi $dpi -noreset" sh -c "
    echo 'Xft.dpi: $dpi' | xrdb -nocpp -merge
    XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb $build/tavlino &
    sleep 3
    window=\$(xdotool search --sync --name '^Tavlino\$' | head -1)
    if [ -n '$name' ]; then
        import -window \$window docs/$name.png
    else
        import -window \$window docs/tavlino.png
        # Help and its About, by their shortcut letters: wherever the menu is.
        xdotool windowfocus --sync \$window key alt+h
        sleep 0.7
        xdotool key a
        sleep 1
        import -window root -crop 545x387+0+0 +repage docs/about.png
    fi
    kill \$!"
rm -rf "$config"
