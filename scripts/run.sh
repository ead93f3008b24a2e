#!/usr/bin/env bash
# Builds tavinel.exe and starts it in a Wine prefix of its own (build/run-prefix).
# With a display the program runs until you choose Exit in its tray menu. Without one, the
# script starts Xvfb, opens the notification window, saves a screenshot, prints its path and
# ends the program.
#   scripts/run.sh --screens   always headless, and also saves the splash (About...), the kit's
#                              reader opened by Read now, Delete's confirmation, a reminder
#                              window, the setup dialog (tavinel.exe install) and the
#                              window at 144 and 192 DPI to build/screenshots/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

screens=0
case "${1:-}" in
--screens) screens=1 ;;
"") ;;
*) echo "usage: scripts/run.sh [--screens]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
source scripts/wine-session.sh
headless=0
if [ "$screens" = 1 ]; then unset DISPLAY; fi # a private Xvfb
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi

# Only what runs here: the program and the kit, and the tool that drives it when headless; not
# the tests and benchmarks.
targets=tavinel,maildirmapi,maildirreader,maildirctl
[ "$headless" = 0 ] || targets+=,wintool
scripts/build.sh "win64:$targets"
bin=$root/build/win64/bin
wine_session_start "$root/build/run-prefix"

# The development store: the kit's MAPI provider, registered as Windows registers a mail
# provider, over a Maildir tree in build/run-store with an Inbox, two subfolders and a mail.
# The same registration makes the kit's reader the mail client that Read now opens.
store=$root/build/run-store
store_windows="Z:${store//\//\\}"
maildirctl() { wine "$bin/maildirctl.exe" "$store_windows" "$@" >/dev/null; }
wine regsvr32 /s "$bin/maildirmapi.dll"
wine reg add 'HKCU\Software\MaildirMAPI' /v StoreRoot /d "$store_windows" /f >/dev/null 2>&1
if [ ! -d "$store/IPM_SUBTREE" ]; then
    maildirctl init
    maildirctl mkfolder Inbox/Projects
    maildirctl mkfolder "Inbox/Family & Friends"
    maildirctl send Inbox "Welcome <welcome@example.org>" "Your development store" \
        "This store is a Maildir tree in build/run-store."
fi

# A valid configuration: the envelope in the tray, the window shown on new mail.
wine reg add 'HKCU\Software\Brunok\Tavinel' /v Version /t REG_DWORD /d 12 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brunok\Tavinel' /v OutLook /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brunok\Tavinel' /v DisplayWindow /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brunok\Tavinel' /v Calendar /t REG_DWORD /d 1 /f >/dev/null 2>&1

if [ "$headless" = 0 ]; then
    echo "Tavinel runs: its envelope is in the notification area; right-click it for the menu."
    echo "Send it mail from another terminal:"
    echo "  WINEPREFIX=$WINEPREFIX wine $bin/maildirctl.exe '$store_windows' send Inbox \\"
    echo "      'Ann <ann@example.org>' 'Lunch?' 'Shall we meet at noon?'"
    echo "or an appointment that reminds in a minute:"
    echo "  WINEPREFIX=$WINEPREFIX wine $bin/maildirctl.exe '$store_windows' appointment \\"
    echo "      'Project review' now+16m --alarm=15 --zone=Europe/Berlin --location='Room 4.12'"
    wine "$bin/tavinel.exe"
    exit 0
fi

shots=$root/build/screenshots
mkdir -p "$shots"
wintool() { wine "$bin/wintool.exe" "$@"; }
# Saves the part of the screen that the window with this title covers.
shoot_window() {
    local geometry
    geometry=$(wintool rect "$1" | tr -d '\r')
    import -window root -crop "$geometry" +repage "$2"
    echo "screenshot: $2"
}

wine "$bin/tavinel.exe" &
program=$!
wintool wait "Tavinel 2.0" 15000
sleep 2 # the mail session opens while the splash shows
maildirctl send Inbox "Ann Example <ann@example.org>" "Lunch at noon?" \
    "Hi, shall we meet at noon at the usual place? Ann"
sleep 1
maildirctl send Inbox/Projects "Build server <build@example.org>" "Nightly build passed" \
    "All 412 tests passed."
sleep 1
wintool command "Tavinel 2.0" 1040 # Expand: the history and the preview
sleep 2
import -window root "$shots/tavinel.png"
echo "screenshot: $shots/tavinel.png"
if [ "$screens" = 1 ]; then
    wintool command "Tavinel 2.0" 1028  # Close: the window is topmost and would cover the splash
    wintool command "Tavinel 2.0" 40005 # About...
    wintool wait Splash 5000
    sleep 1
    shoot_window Splash "$shots/splash.png"
    wintool click Splash
    # Read now opens the newest mail in the kit's reader (the window is closed, so it covers
    # nothing); then Delete's confirmation, answered No.
    wintool command "Tavinel 2.0" 1035
    wintool wait "Nightly build passed" 15000
    sleep 1
    shoot_window "Nightly build passed" "$shots/reader.png"
    wintool command "Tavinel 2.0" 40007 # Open
    wintool command "Tavinel 2.0" 1029  # Delete
    wintool wait WARNING 5000
    sleep 1
    shoot_window WARNING "$shots/delete.png"
    wintool click WARNING 7 # No
    # An appointment that reminds 20 seconds from now: the calendar sink reloads, and the new
    # clock's first pass, 20 seconds later, opens the reminder window.
    maildirctl appointment "Project review" now+920s --alarm=15 --zone=Europe/Berlin \
        --location="Room 4.12"
    wintool wait "Appointement Reminder" 60000
    sleep 1
    shoot_window "Appointement Reminder" "$shots/reminder.png"
fi
wintool command "Tavinel 2.0" 40001 # Exit
wait "$program"

if [ "$screens" = 1 ]; then
    setup="Setup of Tavinel 2.0 " # the caption ends with a blank
    wine "$bin/tavinel.exe" install &
    program=$!
    wintool wait "$setup" 15000
    sleep 1
    shoot_window "$setup" "$shots/setup.png"
    wintool command "$setup" 2 # Cancel, which ends the program
    wait "$program"

    # The window on scaled displays: the prefix's DPI, which each process reads as it starts,
    # set to 144 and 192 and put back afterwards.
    desktop='HKCU\Control Panel\Desktop'
    previous=$(wine reg query "$desktop" /v LogPixels 2>/dev/null | tr -d '\r' |
        awk '$1 == "LogPixels" { print $3 }' || true)
    for dpi in 144 192; do
        wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
        wine "$bin/tavinel.exe" &
        program=$!
        wintool wait "Tavinel 2.0" 15000
        sleep 2
        maildirctl send Inbox "Ann Example <ann@example.org>" "Lunch at noon?" \
            "Hi, shall we meet at noon at the usual place? Ann"
        sleep 1
        wintool command "Tavinel 2.0" 1040 # Expand
        sleep 2
        shoot_window "Tavinel 2.0" "$shots/tavinel-${dpi}dpi.png"
        wintool command "Tavinel 2.0" 40001 # Exit
        wait "$program"
    done
    if [ -n "$previous" ]; then
        wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$((previous))" /f >/dev/null 2>&1
    else
        wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
    fi
fi
