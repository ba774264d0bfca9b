#!/bin/sh
# Screenshots of the real window under Xvfb, for the README:
#   tools/screenshot.sh BUILD_DIR   writes docs/tavlino.png and docs/about.png
# Needs xvfb, xauth, xdotool and imagemagick.
set -e
build=${1:-build}
config=$(mktemp -d)
chmod 700 "$config"
xvfb-run -a -s "-screen 0 700x500x24" sh -c "
    XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb $build/tavlino &
    sleep 2
    import -window root -crop 545x387+0+0 +repage docs/tavlino.png
    xdotool mousemove 24 10 click 1
    sleep 0.7
    xdotool mousemove 40 35 click 1
    sleep 1
    import -window root -crop 545x387+0+0 +repage docs/about.png
    kill \$!"
rm -rf "$config"
