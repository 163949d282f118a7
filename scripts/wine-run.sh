#!/bin/sh
# Runs a command (typically ctest) with a private, headless Wine prefix
# under build/:
#   scripts/wine-run.sh [--win64] command [argument ...]
# By default the prefix is 32-bit (build/wine-prefix) and served by Wine's
# 32-bit loader, for the editor's i686 module; --win64 uses a separate
# 64-bit prefix (build/wine-prefix64) and wine64, for the x86-64 build.
#
# Wine's server and its service processes (services, winedevice, explorer,
# ...) outlive the program that started them and keep its stdout and
# stderr open, which makes ctest wait for them. So they are started here
# first, with their output on /dev/null: the prefix is created once, a
# persistent wineserver is started, and wineboot brings up the services.
# The programs that the command runs under wine then find everything
# running and leave no process behind holding their pipes. The server
# (and with it every wine process of the prefix) is stopped at the end.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)

# A command found on PATH or, as Debian installs wine64 and its server,
# in /usr/lib/wine; empty when neither has it.
find_tool() {
    for name in "$@"; do
        if command -v "$name" >/dev/null 2>&1; then
            command -v "$name"
            return
        fi
        if [ -x "/usr/lib/wine/$name" ]; then
            echo "/usr/lib/wine/$name"
            return
        fi
    done
}

if [ "${1:-}" = --win64 ]; then
    shift
    export WINEARCH=win64
    : "${WINEPREFIX:=$root/build/wine-prefix64}"
    loader=$(find_tool wine64)
    server=$(find_tool wineserver64 wineserver)
    missing="wine64"
else
    export WINEARCH=win32
    : "${WINEPREFIX:=$root/build/wine-prefix}"
    loader=$(find_tool wine)
    server=$(find_tool wineserver)
    missing="wine (with wine32)"
fi
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installers, no message boxes and no display needed.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ $# -eq 0 ]; then
    echo "usage: $0 [--win64] command [argument ...]" >&2
    exit 2
fi

if [ -z "$loader" ] || [ -z "$server" ]; then
    echo "wine-run: $missing not found (run scripts/install-windows-deps.sh)" >&2
    exit 1
fi

# wineboot is a program of the prefix: the loader of its architecture
# runs it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$loader" wineboot -i >/dev/null 2>&1 </dev/null
    "$server" -w
fi

"$server" -p </dev/null >/dev/null 2>&1
stop_server() {
    "$server" -k >/dev/null 2>&1 || true
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$loader" wineboot </dev/null >/dev/null 2>&1

"$@"
