#!/bin/bash
# Installs, starts, upgrades and uninstalls the Windows installer under Wine,
# in a fresh prefix, as a Windows user would:
#   tools/windows/installer-check.sh BUILD_DIR [SCREENSHOT.png]
# BUILD_DIR holds CPack's tavlino-VERSION-win64.exe and .zip. An installer of
# a lower version, made here from the same build, is installed first and
# upgraded.
set -euo pipefail
build=$(cd "$1" && pwd)
screenshot=${2:-}
installer=$(ls "$build"/tavlino-*-win64.exe)
version=$(basename "$installer" | sed 's/^tavlino-\(.*\)-win64\.exe$/\1/')
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# No menu entries or file associations in the Linux home; no Mono or Gecko.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

failed=0
expect() { # WHAT ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "ok:     $1: $2"
    else
        echo "FAILED: $1: '$2', expected '$3'"
        failed=1
    fi
}

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavlino Setup'
reg_value() { # KEY NAME: the value's data, or nothing
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_key_exists() { wine reg query "$1" >/dev/null 2>&1; }
run_installer() { # INSTALLER ARGUMENTS...
    # The uninstaller finishes from a copy in %TEMP%: wait for every Wine
    # process to end.
    wine "$@"
    wineserver -w
}

programs=$WINEPREFIX/drive_c/Program\ Files/Tavlino
shortcut=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tavlino/Tavlino.lnk
installed_files() { (cd "$programs" 2>/dev/null && find . -type f | sort); }

wineboot -i >/dev/null 2>&1
wineserver -w
# The person's settings, from an earlier run of the program.
wine reg add 'HKCU\Software\Orvek\Tavlino' /v baudRate /t REG_DWORD /d 7 /f >/dev/null
wineserver -w

# An older version: the same files, a lower version and one file of its own
# that the upgrade must take away.
mkdir -p "$work/old/old-only"
echo "left by the older version" >"$work/old/old-only/old-only.txt"
(cd "$build" && cpack -G NSIS -D CPACK_PACKAGE_VERSION=0.9 -D CPACK_PACKAGE_FILE_NAME=tavlino-0.9-win64 \
    -D CPACK_OUTPUT_FILE_PREFIX="$work/old" \
    -D "CPACK_INSTALLED_DIRECTORIES=$work/old/old-only;." >/dev/null)
run_installer "$work/old/tavlino-0.9-win64.exe" /S
expect "older version installed, DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" 0.9
expect "older version's own file" "$(test -f "$programs/old-only.txt" && echo there)" there

started=$SECONDS
run_installer "$installer" /S
echo "silent install over 0.9: $((SECONDS - started)) s"
expect "upgrade took away the older version's own file" "$(test -e "$programs/old-only.txt" || echo gone)" gone

# The folder holds what the zip holds, and the uninstaller.
zip_files=$(unzip -Z1 "$build/tavlino-$version-win64.zip" | grep -v '/$' | sed 's|^[^/]*/|./|' | sort)
expect "installed files are the zip's and Uninstall.exe" "$(installed_files | tr '\n' ' ')" \
    "$(printf '%s\n' $zip_files ./Uninstall.exe | sort | tr '\n' ' ')"
expect "Start-menu shortcut" "$(test -f "$shortcut" && echo there)" there
expect "DisplayName" "$(reg_value "$uninstall_key" DisplayName)" Tavlino
expect "DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" "$version"
expect "Publisher" "$(reg_value "$uninstall_key" Publisher)" Orvek
expect "DisplayIcon" "$(reg_value "$uninstall_key" DisplayIcon)" 'C:\Program Files\Tavlino\tavlino.exe'
expect "one uninstall entry" "$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null |
    grep -ci tavlino)" 1

# The version resource, read by exiftool.
exe_info=$(exiftool -s -FileVersion -ProductVersion -ProductName -CompanyName -FileDescription \
    -LegalCopyright -OriginalFileName "$programs/tavlino.exe")
echo "$exe_info" | sed 's/^/        /'
field() { echo "$exe_info" | sed -n "s/^$1 *: //p"; }
expect "FileVersion" "$(field FileVersion)" "$version.0.0"
expect "ProductVersion" "$(field ProductVersion)" "$version"
expect "ProductName" "$(field ProductName)" Tavlino
expect "CompanyName" "$(field CompanyName)" Orvek
expect "LegalCopyright" "$(field LegalCopyright)" "$(grep -m1 '^Copyright ' "$(dirname "$0")/../../LICENSE")"
expect "OriginalFileName" "$(field OriginalFileName)" tavlino.exe

# The installed program starts and shows its window.
xvfb-run -a -s "-screen 0 800x600x24 -noreset" bash -c '
    wine "$0/tavlino.exe" >"$1/stdout" 2>"$1/stderr" &
    window=$(timeout 60 xdotool search --sync --name "^Tavlino\$" | head -1)
    [ -n "$window" ] && echo "$window" >"$1/window"
    sleep 3
    [ -n "$2" ] && [ -n "$window" ] && import -window "$window" "$2"
    wineserver -k' "$programs" "$work" "$screenshot" || true
expect "installed tavlino.exe shows its window" "$(test -s "$work/window" && echo shown)" shown
expect "nothing printed at start" "$(cat "$work/stdout" "$work/stderr" | grep -v '^$' | head -3)" ""
wineserver -w

started=$SECONDS
run_installer "$programs/Uninstall.exe" /S
echo "silent uninstall: $((SECONDS - started)) s"
expect "files left after uninstall" "$(installed_files | tr '\n' ' ')" ""
expect "install folder left" "$(test -e "$programs" && echo there)" ""
expect "shortcut left" "$(test -e "$shortcut" && echo there)" ""
expect "uninstall key left" "$(reg_key_exists "$uninstall_key" && echo there)" ""
expect "installer key left" "$(reg_key_exists 'HKLM\Software\Orvek' && echo there)" ""
expect "the person's settings kept" "$(reg_value 'HKCU\Software\Orvek\Tavlino' baudRate)" 0x7
exit "$failed"
