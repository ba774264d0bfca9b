#!/bin/sh
# Takes a screenshot of the real window under Xvfb: tools/screenshot.sh BUILD_DIR OUT.png
# Needs xvfb, xauth and imagemagick.
set -e
build=${1:-build}
out=${2:-docs/tavlino.png}
config=$(mktemp -d)
xvfb-run -a -s "-screen 0 700x500x24" sh -c "
    XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config QT_QPA_PLATFORM=xcb $build/tavlino &
    sleep 2
    import -window root -crop 545x387+0+0 +repage $out
    kill \$!"
rm -rf "$config"
