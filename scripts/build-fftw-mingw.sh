#!/bin/sh
# Builds single-precision FFTW with threads for 32-bit Windows (MinGW) from
# Debian's own source package and installs it as a static library into
# build/fftw-mingw-i686 (or the prefix given as the first argument), with
# the source package's files in its source/ folder.
# A finished installation is kept and the script then does nothing.
#
# The source package is fetched with a private apt configuration under
# build/: its source entries are derived from the machine's own apt
# sources, so the system's apt setup is left untouched.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$root/build/fftw-mingw-i686}
work=$root/build/fftw-mingw-src
host=i686-w64-mingw32
jobs=${JOBS:-2}

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
# SSE2 codelets, FFTW's own aligned allocator, and no assumption beyond
# the 4-byte stack alignment that 32-bit Windows callers guarantee.
# The flags are FFTW's own choice for GCC, with scalar arithmetic in SSE2
# as in the module, and tuned for no particular build machine.
mkdir -p "$work/build"
cd "$work/build"
"$srcdir/configure" \
    --host=$host \
    --prefix="$prefix" \
    CC="$host-gcc-posix" \
    CFLAGS="-O3 -fomit-frame-pointer -malign-double -fstrict-aliasing -fno-schedule-insns -msse2 -mfpmath=sse" \
    --enable-float --enable-threads --with-combined-threads \
    --enable-sse2 --with-our-malloc --with-incoming-stack-boundary=2 \
    --disable-fortran --disable-doc --enable-static --disable-shared
make -j"$jobs"
make install
touch "$stamp"
rm -rf "$work"
