#!/bin/sh
# Installs what the Windows build and its tests under Wine need: the MinGW
# cross compiler (posix thread model, which std::mutex requires), dpkg-dev
# for unpacking FFTW's Debian source package, and 32-bit Wine.
# Only missing packages are installed, and only when running as root.
set -eu

missing=""
need() {
    if ! dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $1"
    fi
}

need g++-mingw-w64-i686-posix
need dpkg-dev
need wine
need wine32:i386

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-windows-deps: missing packages:$missing" >&2
    echo "install-windows-deps: run as root, or install them with apt-get" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# Another install running at the same time holds the dpkg lock: wait for it.
lock="-o DPkg::Lock::Timeout=600"
case " $missing " in
    *" wine32:i386 "*)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
        fi
        apt-get $lock update -qq
        ;;
esac
# shellcheck disable=SC2086
apt-get $lock install -y -qq --no-install-recommends $missing
