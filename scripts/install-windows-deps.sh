#!/bin/sh
# Installs what the Windows builds and their tests under Wine need, by
# part:
#   install-windows-deps.sh PART ...
#   i686     the 32-bit cross compiler (the editor's module) and dpkg-dev
#   x86_64   the 64-bit cross compiler and dpkg-dev
#   wine32   32-bit Wine, for the i686 suite
#   wine64   64-bit Wine, for the x86-64 suite
# The cross compilers are MinGW-w64's with the posix thread model, which
# std::mutex requires; dpkg-dev unpacks FFTW's Debian source package.
# Only missing packages are installed, and only when running as root.
set -eu

if [ $# -eq 0 ]; then
    echo "usage: $0 i686|x86_64|wine32|wine64 ..." >&2
    exit 2
fi

missing=""
need() {
    if ! dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; then
        case " $missing " in
            *" $1 "*) ;;
            *) missing="$missing $1" ;;
        esac
    fi
}

for part in "$@"; do
    case $part in
        i686) need g++-mingw-w64-i686-posix; need dpkg-dev ;;
        x86_64) need g++-mingw-w64-x86-64-posix; need dpkg-dev ;;
        wine32) need wine; need wine32:i386 ;;
        # Debian's wine package brings the commands (wineserver and the
        # others) for either loader.
        wine64) need wine; need wine64 ;;
        *)
            echo "install-windows-deps: unknown part '$part'" >&2
            exit 2
            ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-windows-deps: missing packages:$missing" >&2
    echo "install-windows-deps: run as root, or install them with apt-get" >&2
    exit 1
fi

echo "install-windows-deps: installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# Another install running at the same time holds the dpkg lock: wait for it.
lock="-o DPkg::Lock::Timeout=600"
case " $missing " in
    *" wine32:i386 "*)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
        fi
        ;;
esac
apt-get $lock update -qq
# shellcheck disable=SC2086
apt-get $lock install -y -qq --no-install-recommends $missing
