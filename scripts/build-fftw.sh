#!/bin/sh
# Builds single-precision FFTW with threads from Debian's own source
# package and installs it as a static library, for a module that links it
# in: the Windows modules (MinGW cross builds) and, as an option, the
# Linux module (DEVIDORIV_OWN_FFTW).
#   build-fftw.sh TARGET PREFIX [SIMD]
# TARGET is i686 or x86_64 (MinGW-w64, Windows) or linux (this machine's
# compiler, code for any x86-64). SIMD is avx2 (the default: SSE2, AVX and
# AVX2/FMA codelets), avx (SSE2 and AVX codelets, as Debian's own build) or
# sse2 (SSE2 codelets only), the last two for comparison.
#
# FFTW compiles each codelet folder for its instruction set alone and
# registers the AVX and AVX2 solvers only after CPUID and XGETBV say that
# the processor and the system support them, so one library runs on any
# processor with SSE2 and uses what the one it runs on has. Nothing else
# is compiled with -mavx.
#
# The source package's files are kept in the prefix's source/ folder (a
# release that links the library ships them). A finished installation of
# the same configuration is kept and the script then does nothing; another
# configuration is built afresh.
#
# The source package is fetched with a private apt configuration under
# build/: its source entries are derived from the machine's own apt
# sources, so the system's apt setup is left untouched.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: build-fftw.sh i686|x86_64|linux PREFIX [avx2|avx|sse2]}
prefix=${2:?usage: build-fftw.sh i686|x86_64|linux PREFIX [avx2|avx|sse2]}
simd=${3:-avx2}
jobs=${JOBS:-2}
say() { echo "build-fftw: $*" >&2; }

# The flags are FFTW's own choice for GCC (-malign-double only where it
# means something, on 32-bit x86), tuned for no particular build machine.
case $target in
    i686)
        # Scalar arithmetic in SSE2 as in the module, and no assumption
        # beyond the 4-byte stack alignment that 32-bit Windows callers
        # guarantee: GCC realigns the stack where a function keeps vectors
        # on it, the AVX codelets' 32-byte ones included.
        cflags="-O3 -fomit-frame-pointer -malign-double -fstrict-aliasing -fno-schedule-insns -msse2 -mfpmath=sse"
        target_options="--host=i686-w64-mingw32 --with-incoming-stack-boundary=2 --with-our-malloc"
        cc=i686-w64-mingw32-gcc-posix
        ;;
    x86_64)
        # The 64-bit ABI has SSE2 arithmetic and a 16-byte aligned stack.
        cflags="-O3 -fomit-frame-pointer -fstrict-aliasing -fno-schedule-insns"
        target_options="--host=x86_64-w64-mingw32 --with-our-malloc"
        cc=x86_64-w64-mingw32-gcc-posix
        ;;
    linux)
        # Position-independent, since it is linked into a shared module.
        cflags="-O3 -fomit-frame-pointer -fstrict-aliasing -fno-schedule-insns -fPIC"
        target_options=""
        cc=${CC:-gcc}
        ;;
    *)
        say "unknown target '$target' (i686, x86_64 or linux)"
        exit 2
        ;;
esac
case $simd in
    avx2) simd_options="--enable-sse2 --enable-avx --enable-avx2" ;;
    avx) simd_options="--enable-sse2 --enable-avx" ;;
    sse2) simd_options="--enable-sse2" ;;
    *)
        say "unknown SIMD choice '$simd' (avx2, avx or sse2)"
        exit 2
        ;;
esac
work=$prefix-work

# Single precision, threads folded into libfftw3f, static only.
options="--enable-float --enable-threads --with-combined-threads $simd_options $target_options --disable-fortran --disable-doc --enable-static --disable-shared"
configuration="CC=$cc CFLAGS=$cflags $options"
stamp=$prefix/.built
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$configuration" ] &&
   [ -f "$prefix/lib/libfftw3f.a" ] && [ -f "$prefix/include/fftw3.h" ] &&
   ls "$prefix"/source/*.dsc > /dev/null 2>&1; then
    exit 0
fi

for tool in dpkg-source "$cc"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        say "$tool not found (run scripts/install-windows-deps.sh, or make deps)"
        exit 1
    fi
done

say "building FFTW for $target ($simd) into $prefix"
rm -rf "$work" "$prefix"
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
    say "no apt sources found under /etc/apt"
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

# An index that fails mid-sync is no reason to stop while the source
# package can still be fetched.
apt_private update || say "warning: apt-get update failed; fetching the source with the indexes there are"
(cd "$work/src" && apt_private source fftw3)

srcdir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'fftw3-*' | head -n 1)
if [ -z "$srcdir" ]; then
    say "the fftw3 source package did not unpack"
    exit 1
fi
mkdir -p "$prefix/source"
cp "$work/src"/*.dsc "$work/src"/*.tar.* "$prefix/source/"

mkdir -p "$work/build"
cd "$work/build"
# shellcheck disable=SC2086
"$srcdir/configure" --prefix="$prefix" CC="$cc" CFLAGS="$cflags" $options
make -j"$jobs"
make install
echo "$configuration" > "$stamp"
rm -rf "$work"
