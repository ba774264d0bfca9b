#!/bin/bash
# Checks the installed program from outside its process, as a Linux desktop
# meets it:
#   tools/desktop-check.sh [PROGRAM] [STARTS]
# 1. X11: the window's WM_CLASS is the desktop entry's StartupWMClass, so a
#    dock ties the window to the entry's name and icon.
# 2. A screen reader switched on the way a desktop does it (org.a11y.Status
#    ScreenReaderEnabled) on an X server whose root window has no AT_SPI_BUS
#    property, as on XWayland: the program is on the accessibility bus with
#    its controls named or labelled, in every one of STARTS starts.
# 3. A Wayland session (headless Weston): the program runs on Qt's Wayland
#    plugin and gives the compositor its desktop id as app id.
# Starts its own X server, session bus, accessibility bus and compositor and
# stops each by its process id.
set -euo pipefail
program=${1:-/usr/bin/tavlino}
starts=${2:-10}
tools=$(cd "$(dirname "$0")" && pwd)
entry=/usr/share/applications/org.orvek.Tavlino.desktop
work=$(mktemp -d)
chmod 700 "$work"
pids=()
stop_all() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap stop_all EXIT

wait_for() { # SECONDS COMMAND...: until the command succeeds
    local tries=$(($1 * 10))
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

export XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config
unset WAYLAND_DISPLAY QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_QPA_PLATFORM AT_SPI_BUS_ADDRESS

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for 10 test -s "$work/display"
export DISPLAY=:$(cat "$work/display")

# A session bus with no services to start, so that nothing runs that this
# script did not start itself.
cat >"$work/session.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$work/session.conf" --nofork 2>"$work/dbus.log" &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
wait_for 10 test -S "$work/bus"

# The bus launcher leaves the root window alone when it sees a Wayland
# display, as in a Wayland session. It keeps the screen-reader switch in
# GSettings: in memory here, as there is no dconf service on this bus.
GSETTINGS_BACKEND=memory WAYLAND_DISPLAY=wayland-none /usr/libexec/at-spi-bus-launcher --launch-immediately \
    >"$work/at-spi.log" 2>&1 &
pids+=($!)
a11y_bus_up() {
    dbus-send --session --reply-timeout=1000 --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q 'boolean true'
}
wait_for 10 a11y_bus_up
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:ScreenReaderEnabled \
    variant:boolean:true >/dev/null
if ! dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Get string:org.a11y.Status string:ScreenReaderEnabled |
    grep -q 'boolean true'; then
    echo "the screen-reader switch did not stay on"
    exit 1
fi
if xprop -root AT_SPI_BUS | grep -q '='; then
    echo "the root window has an AT_SPI_BUS property; the check needs it absent"
    exit 1
fi
echo "accessibility bus up, screen reader on, no AT_SPI_BUS on the root window"

failed=0
heard=0
for start in $(seq "$starts"); do
    QT_QPA_PLATFORM=xcb "$program" 2>"$work/stderr" &
    app=$!
    pids+=($app)
    if ! window=$(timeout 10 xdotool search --sync --name '^Tavlino$' | head -1); then
        echo "start $start: no window"
        cat "$work/stderr"
        exit 1
    fi
    if [ "$start" -eq 1 ]; then
        class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= "\(.*\)", "\(.*\)"/\2/p')
        wanted=$(sed -n 's/^StartupWMClass=//p' "$entry")
        if [ -z "$class" ] || [ "$class" != "$wanted" ]; then
            echo "WM_CLASS class '$class' does not match StartupWMClass '$wanted' of $entry"
            failed=1
        else
            echo "X11: WM_CLASS $(xprop -id "$window" WM_CLASS | sed 's/.*= //') matches StartupWMClass=$wanted"
        fi
    fi
    if /usr/bin/python3 "$tools/atspi-check.py" tavlino 10 >"$work/atspi"; then
        heard=$((heard + 1))
        [ "$start" -eq 1 ] && sed 's/^/  /' "$work/atspi"
    else
        echo "start $start: not on the accessibility bus as it should be:"
        cat "$work/atspi" "$work/stderr"
    fi
    kill "$app"
    wait "$app" 2>/dev/null || true
done
echo "accessibility: on the bus with every control named or labelled in $heard of $starts starts"
[ "$heard" -eq "$starts" ] || failed=1

# Wayland: X is still there, as XWayland would be; Qt must prefer Wayland.
weston --backend=headless-backend.so --socket=wayland-tavlino --idle-time=0 \
    >"$work/weston.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$work/wayland-tavlino"
status=0
WAYLAND_DISPLAY=wayland-tavlino XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client \
    timeout 3 "$program" >/dev/null 2>"$work/wayland.log" || status=$?
if [ "$status" -ne 124 ]; then
    echo "on Wayland the program did not keep running (exit status $status):"
    grep -v '^\[' "$work/wayland.log" | tail -5
    failed=1
elif app_id=$(grep -o 'xdg_toplevel@[0-9]*\.set_app_id("[^"]*")' "$work/wayland.log" | head -1) &&
    [ "$app_id" != "${app_id%\"org.orvek.Tavlino\")}" ]; then
    echo "Wayland: runs on Qt's Wayland plugin, $app_id"
else
    echo "on Wayland the window has no app id org.orvek.Tavlino (not on the Wayland plugin?)"
    failed=1
fi
exit "$failed"
