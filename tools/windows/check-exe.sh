#!/bin/sh
# Checks the Windows program with the cross tools: a GUI-subsystem program
# whose resources hold the icon group IDI_ICON1 with six sizes at 32 bits,
# and a manifest that runs it as the invoking user on Windows 10 and 11.
#   tools/windows/check-exe.sh tavlino.exe
set -eu
exe=$1
subsystem=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '$1 == "Subsystem" { print $2 }')
if [ "$subsystem" != 00000002 ]; then
    echo "$exe: subsystem $subsystem, not 2 (Windows GUI)"
    exit 1
fi
ico=$(mktemp)
trap 'rm -f "$ico"' EXIT
wrestool -x --type=group_icon --name=IDI_ICON1 "$exe" >"$ico"
sizes=$(icotool -l "$ico" | sed -n 's/.*--width=\([0-9]*\) --height=\1 --bit-depth=32 .*/\1/p' |
    sort -n | tr '\n' ' ')
if [ "$sizes" != "16 32 48 64 128 256 " ]; then
    echo "$exe: IDI_ICON1 holds 32-bit sizes '$sizes', not 16 32 48 64 128 256"
    exit 1
fi
echo "$exe: Windows GUI subsystem; IDI_ICON1 with 16, 32, 48, 64, 128 and 256 px at 32 bits"
manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
for wanted in 'level="asInvoker"' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    if ! printf '%s' "$manifest" | grep -qF "$wanted"; then
        echo "$exe: the manifest lacks $wanted"
        exit 1
    fi
done
echo "$exe: manifest: asInvoker, Windows 10 and 11"
