#!/bin/sh
# Manages the private Wine prefix of a build tree (WINEPREFIX must be set).
#   ensure: create the prefix once (about 7 s), safe to call from parallel runs
#   start:  ensure, then start a persistent Wine server so that each program start costs ~0.1 s
#   stop:   stop that server
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

ensure() {
    [ -f "$WINEPREFIX/.kiteboot-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.kiteboot-ready" ]; then
            "$WINE" wineboot -i >/dev/null 2>&1
            "$WINESERVER" -w
            touch "$WINEPREFIX/.kiteboot-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

case "${1:-}" in
ensure) ensure ;;
start)
    ensure
    # In the background with its output redirected: in the foreground it would block the caller.
    nohup "$WINESERVER" -p >/dev/null 2>&1 &
    # Wait until the server answers, so the first test does not pay for its start.
    "$WINE" cmd /c exit 0 >/dev/null 2>&1
    ;;
stop) "$WINESERVER" -k >/dev/null 2>&1; exit 0 ;;
*) echo "usage: $0 ensure|start|stop" >&2; exit 2 ;;
esac
