#!/bin/sh
# Builds single-precision FFTW with threads for Windows (MinGW) from
# Debian's own source package and installs it as a static library.
#   build-fftw-mingw.sh [i686|x86_64] [prefix]
# i686 (the default) is the 32-bit module's target, x86_64 the 64-bit
# test build's; the prefix defaults to build/fftw-mingw-<arch>. The source
# package's files are kept in the prefix's source/ folder.
# A finished installation is kept and the script then does nothing.
#
# The source package is fetched with a private apt configuration under
# build/: its source entries are derived from the machine's own apt
# sources, so the system's apt setup is left untouched.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
prefix=${2:-$root/build/fftw-mingw-$arch}
work=$root/build/fftw-mingw-src-$arch
jobs=${JOBS:-2}

# The flags are FFTW's own choice for GCC (-malign-double only where it
# means something, on 32-bit x86), tuned for no particular build machine.
case $arch in
    i686)
        # Scalar arithmetic in SSE2 as in the module, and no assumption
        # beyond the 4-byte stack alignment that 32-bit Windows callers
        # guarantee.
        cflags="-O3 -fomit-frame-pointer -malign-double -fstrict-aliasing -fno-schedule-insns -msse2 -mfpmath=sse"
        arch_options="--with-incoming-stack-boundary=2"
        ;;
    x86_64)
        # The 64-bit ABI has SSE2 arithmetic and a 16-byte aligned stack.
        cflags="-O3 -fomit-frame-pointer -fstrict-aliasing -fno-schedule-insns"
        arch_options=""
        ;;
    *)
        echo "build-fftw-mingw: unknown target '$arch' (i686 or x86_64)" >&2
        exit 2
        ;;
esac
host=$arch-w64-mingw32

stamp=$prefix/.built
if [ -f "$stamp" ] && [ -f "$prefix/lib/libfftw3f.a" ] && [ -f "$prefix/include/fftw3.h" ] &&
   ls "$prefix"/source/*.dsc > /dev/null 2>&1; then
    exit 0
fi

for tool in dpkg-source "$host-gcc-posix"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "build-fftw-mingw: $tool not found (run scripts/install-windows-deps.sh)" >&2
        exit 1
    fi
done

rm -rf "$work"
mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" \
         "$work/apt/cache/archives/partial" "$work/src"

# deb-src entries for the same archives, suites and keys as the machine's
# binary entries: deb822 files get "Types: deb-src", one-line files get
# their "deb" lines repeated as "deb-src".
found=no
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$work/apt/sources.list.d/$(basename "$f")"
    found=yes
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$work/apt/sources.list.d/$(basename "$f")"
    found=yes
done
if [ "$found" = no ]; then
    echo "build-fftw-mingw: no apt sources found under /etc/apt" >&2
    exit 1
fi

apt_private() {
    apt-get -q \
        -o Dir::Etc::SourceList=/dev/null \
        -o Dir::Etc::SourceParts="$work/apt/sources.list.d" \
        -o Dir::State::Lists="$work/apt/lists" \
        -o Dir::Cache="$work/apt/cache" \
        -o APT::Sandbox::User=root \
        "$@"
}

apt_private update
(cd "$work/src" && apt_private source fftw3)

srcdir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'fftw3-*' | head -n 1)
if [ -z "$srcdir" ]; then
    echo "build-fftw-mingw: the fftw3 source package did not unpack" >&2
    exit 1
fi
# The source package stays beside the library built from it, in
# $prefix/source: the Windows release ships it as the corresponding source.
rm -rf "$prefix/source"
mkdir -p "$prefix/source"
cp "$work/src"/*.dsc "$work/src"/*.tar.* "$prefix/source/"

# Out-of-tree build: single precision, threads folded into libfftw3f,
# SSE2 codelets and FFTW's own aligned allocator.
mkdir -p "$work/build"
cd "$work/build"
# shellcheck disable=SC2086
"$srcdir/configure" \
    --host=$host \
    --prefix="$prefix" \
    CC="$host-gcc-posix" \
    CFLAGS="$cflags" \
    --enable-float --enable-threads --with-combined-threads \
    --enable-sse2 --with-our-malloc $arch_options \
    --disable-fortran --disable-doc --enable-static --disable-shared
make -j"$jobs"
make install
touch "$stamp"
rm -rf "$work"
