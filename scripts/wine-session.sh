# Sourced by the other scripts: a throwaway Wine prefix and, when there is no display, Xvfb.
# Everything started here is stopped on exit, also when a test fails.
#   wine_session_start [prefix-dir]   (a new temporary prefix when none is given)

wine_session_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    if [ -n "${TAVINEL_XVFB_PID:-}" ]; then
        kill "$TAVINEL_XVFB_PID" 2>/dev/null || true
        wait "$TAVINEL_XVFB_PID" 2>/dev/null || true
        TAVINEL_XVFB_PID=
    fi
    if [ -n "${TAVINEL_TEMP_PREFIX:-}" ]; then
        rm -rf "$TAVINEL_TEMP_PREFIX"
        TAVINEL_TEMP_PREFIX=
    fi
}

wine_session_start() {
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM
    export WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    if [ -n "${1:-}" ]; then
        export WINEPREFIX="$1"
    else
        TAVINEL_TEMP_PREFIX=$(mktemp -d /tmp/tavinel-wine.XXXXXX)
        export WINEPREFIX="$TAVINEL_TEMP_PREFIX"
    fi

    if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
        local n=90
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        TAVINEL_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        # Debian's Wine registers its own fonts (MS Sans Serif, Tahoma...) but does not find them
        # in its data directory, so dialogs would fall back to the wider DejaVu Sans. From the
        # prefix's font folder they load.
        cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    # A crashing process ends at once instead of starting Wine's debugger, which would wait
    # on its crash dialog and hang the run.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    if [ -n "${TAVINEL_XVFB_PID:-}" ]; then
        # No window manager runs on Xvfb: unmanaged windows spare Wine its 2 s wait for one
        # at every hide.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    fi
    wineserver -w
}
