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
# Only missing packages are installed, and only when running as root, by
# install-deps.sh, which also rides out a Debian mirror in mid-sync.
set -eu

if [ $# -eq 0 ]; then
    echo "usage: $0 i686|x86_64|wine32|wine64 ..." >&2
    exit 2
fi

packages=""
for part in "$@"; do
    case $part in
        i686) packages="$packages g++-mingw-w64-i686-posix dpkg-dev" ;;
        x86_64) packages="$packages g++-mingw-w64-x86-64-posix dpkg-dev" ;;
        wine32) packages="$packages wine wine32:i386" ;;
        # Debian's wine package brings the commands (wineserver and the
        # others) for either loader.
        wine64) packages="$packages wine wine64" ;;
        *)
            echo "install-windows-deps: unknown part '$part'" >&2
            exit 2
            ;;
    esac
done

# 32-bit Wine comes from the i386 architecture, which is added for it
# when it is missing, and removed again when the install fails, so that
# a failed attempt leaves apt as it was.
added_i386=""
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -qx 'install ok installed'; then
    case " $packages " in
        *" wine32:i386 "*)
            if ! dpkg --print-foreign-architectures | grep -qx i386; then
                dpkg --add-architecture i386
                added_i386=yes
            fi
            ;;
    esac
fi

# shellcheck disable=SC2086
if "$(dirname "$0")/install-deps.sh" --no-install-recommends $packages; then
    exit 0
else
    status=$?
fi
if [ -n "$added_i386" ]; then
    dpkg --remove-architecture i386 2>/dev/null || true
fi
exit $status
