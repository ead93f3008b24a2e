#!/usr/bin/env bash
# Builds tavinel.exe and starts it in a Wine prefix of its own (build/run-prefix).
# With a display the program runs until you choose Exit in its tray menu. Without one, the
# script starts Xvfb, opens the notification window, saves a screenshot, prints its path and
# ends the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh win64
bin=$root/build/win64/bin

source scripts/wine-session.sh
headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi
wine_session_start "$root/build/run-prefix"

# A valid configuration: the envelope in the tray, the window shown on new mail.
wine reg add 'HKCU\Software\Brunok\Tavinel' /v Version /t REG_DWORD /d 12 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brunok\Tavinel' /v OutLook /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brunok\Tavinel' /v DisplayWindow /t REG_DWORD /d 1 /f >/dev/null 2>&1

if [ "$headless" = 0 ]; then
    echo "Tavinel runs: its envelope is in the notification area; right-click it for the menu."
    wine "$bin/tavinel.exe"
    exit 0
fi

wine "$bin/tavinel.exe" &
program=$!
wine "$bin/wintool.exe" wait "Tavinel 2.0" 15000
wine "$bin/wintool.exe" command "Tavinel 2.0" 40007 # Open
sleep 2
mkdir -p "$root/build/screenshots"
shot=$root/build/screenshots/tavinel.png
import -window root "$shot"
echo "screenshot: $shot"
wine "$bin/wintool.exe" command "Tavinel 2.0" 40001 # Exit
wait "$program"
