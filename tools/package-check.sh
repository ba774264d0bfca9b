#!/bin/sh
# Builds the Debian package from a configured and built folder and checks it
# with the distribution's own tools, then installs it, starts the installed
# program, checks it as a desktop meets it (tools/desktop-check.sh) and
# removes it again:
#   tools/package-check.sh BUILD_DIR
# Installs into the running system: meant for CI and throw-away machines.
set -eu
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/tavlino_*_*.deb)
echo "package: $deb"

desktop-file-validate "$root"/resources/*.desktop
appstreamcli validate --no-net "$build"/*.metainfo.xml
lintian --fail-on error,warning "$deb"

apt-get install -y -qq "$deb"
home=$(mktemp -d)
status=0
XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
    timeout 2 /usr/bin/tavlino || status=$?
rm -rf "$home"
if [ "$status" -ne 124 ]; then
    echo "the installed tavlino did not keep running for 2 s (exit status $status)"
    exit 1
fi
echo "the installed /usr/bin/tavlino ran for 2 s"
"$root"/tools/desktop-check.sh /usr/bin/tavlino 10

apt-get remove -y -qq tavlino
left=""
for file in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }'); do
    [ -e "$file" ] && left="$left $file"
done
if [ -n "$left" ] || dpkg-query -W -f='${Status}' tavlino 2>/dev/null | grep -q installed; then
    echo "left behind after apt-get remove:$left"
    exit 1
fi
echo "apt-get remove left nothing of tavlino behind"
