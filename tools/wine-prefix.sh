#!/bin/sh
# Manages the private Wine prefix of a build tree (WINEPREFIX must be set).
#   ensure: create the prefix once (about 7 s), safe to call from parallel runs
#   start:  ensure, then start a persistent Wine server so that each program start costs ~0.1 s
#   stop:   stop that server, and with it Wine's services (services.exe, plugplay.exe, ...) of the prefix
#   running: exit 0 when a Wine server of this prefix runs
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
PRELOADER=/usr/lib/wine/wine64-preloader

# Without its preloader Wine cannot reserve its fixed address ranges before the loader's heap is placed:
# the kernel puts that heap at a random place up to 1 GiB above the loader, now and then over the range
# of the shared user data, and the new process dies (CreateProcess fails with ERROR_INTERNAL_ERROR).
if [ ! -x "$PRELOADER" ]; then
    echo "wine-prefix.sh: $PRELOADER is missing; install Debian's package wine64-preloader" \
         "(tools/setup.sh does): without it Wine fails process starts now and then" >&2
    exit 1
fi

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

# A Wine server works in a directory named after its prefix's device and inode numbers.
running() {
    # shellcheck disable=SC2046
    set -- $(stat -c '%d %i' "$WINEPREFIX" 2>/dev/null)
    [ $# -eq 2 ] || return 1
    server=$(printf 'server-%x-%x' "$1" "$2")
    for process in /proc/[0-9]*; do
        case "$(readlink "$process/exe" 2>/dev/null)" in */wineserver*) ;; *) continue ;; esac
        case "$(readlink "$process/cwd" 2>/dev/null)" in */"$server") return 0 ;; esac
    done
    return 1
}

case "${1:-}" in
ensure) ensure ;;
running) running ;;
start)
    ensure
    # With its output redirected, so that it does not hold the caller's output open. It returns once the
    # server listens (or at once when one runs already): a program started before that could start a
    # server of its own, which ends with the last program instead of persisting.
    nohup "$WINESERVER" -p >/dev/null 2>&1
    # Wait until Wine's services run, so the first test does not pay for their start. Only a warm-up:
    # what counts is that the server runs.
    "$WINE" cmd /c exit 0 >/dev/null 2>&1 || echo "wine-prefix.sh: warm-up run ended with $?"
    running || { echo "wine-prefix.sh: no Wine server runs for $WINEPREFIX" >&2; exit 1; }
    ;;
stop)
    "$WINESERVER" -k >/dev/null 2>&1
    # Returns once the server has ended.
    "$WINESERVER" -w >/dev/null 2>&1
    exit 0
    ;;
*) echo "usage: $0 ensure|start|stop|running" >&2; exit 2 ;;
esac
