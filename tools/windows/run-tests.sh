#!/bin/sh
# Runs the Windows build's test suites under Wine, COUNT times in a row:
#   tools/windows/run-tests.sh BUILD_DIR [COUNT]
# The prefix's wineserver runs in the foreground of this script's session
# (-f) and stays up between tests (-p). Started by Wine itself, it would
# make a session of its own without a terminal, and the first test pty a
# COM port opens would become its controlling terminal: closing that pty at
# the end of a case sends it a hang-up, and the dump it then prints can
# crash on a just-deleted registry key and leave every Wine process waiting.
set -eu
build=$1
count=${2:-1}
cache=${TAVLINO_WINDOWS_CACHE:-/var/cache/tavlino-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
tools=$(cd "$(dirname "$0")" && pwd)

# The prefix must exist before a server can serve it.
"$tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -f -p &
server=$!
trap 'wineserver -k 2>/dev/null; wait $server 2>/dev/null || true' EXIT
# Wine's own services start with the first program and live as long as the
# server. Started here, with nothing of ctest's open, they cannot keep a
# test's output pipe open after the test has ended.
"$tools/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true

passed=0
for run in $(seq "$count"); do
    if ctest --test-dir "$build" --output-on-failure; then
        passed=$((passed + 1))
    else
        echo "run $run of $count failed"
    fi
done
echo "Windows test suites under Wine: $passed of $count runs passed"
[ "$passed" -eq "$count" ]
