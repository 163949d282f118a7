#!/bin/sh
# Runs a command (typically ctest) with a private, headless 32-bit Wine
# prefix under build/, e.g.  scripts/wine-run.sh ctest --test-dir build/win32
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
: "${WINEPREFIX:=$root/build/wine-prefix}"
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers, no message boxes and no display needed.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ $# -eq 0 ]; then
    echo "usage: $0 command [argument ...]" >&2
    exit 2
fi

for tool in wine wineserver wineboot; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "wine-run: $tool not found (run scripts/install-windows-deps.sh)" >&2
        exit 1
    fi
done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
fi

wineserver -p </dev/null >/dev/null 2>&1
stop_server() {
    wineserver -k >/dev/null 2>&1 || true
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
wineboot </dev/null >/dev/null 2>&1

"$@"
