#!/bin/sh
# The Debian package, as make deb builds it: its name, its files under
# /usr, and a Depends field that names the packages of exactly the shared
# libraries its binaries link. Then the unpacked package's tool runs and
# finds the package's module.
#   deb_test.sh BUILD_DIR VERSION FREI0R MAN FFTW_SOURCE
# FREI0R is 1 when the frei0r plug-in is built, and MAN when the man page
# is; the package then holds them. FFTW_SOURCE is the folder of FFTW's
# source package when the module has an FFTW of its own: the package then
# holds that source package and FFTW's COPYRIGHT, and depends on no FFTW
# package; "-" for the system's FFTW, on whose package it depends.
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
build=$1 version=$2 frei0r=$3 man=$4 fftw_source=${5:--}
unset DEVIDORIV_MODULE
# CPack finds the package's dependencies with dpkg-shlibdeps.
need dpkg-deb dpkg-shlibdeps
work_folder

cpack --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
arch=$(dpkg --print-architecture)
deb=$work/devidoriv_${version}_$arch.deb
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work")"

[ "$(dpkg-deb -f "$deb" Package)" = devidoriv ] || fail "Package"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture"
# The plug-in's descriptions make it an enhancement of the editors.
if [ "$frei0r" = 1 ]; then
    [ "$(dpkg-deb -f "$deb" Enhances)" = "kdenlive, shotcut" ] ||
        fail "Enhances '$(dpkg-deb -f "$deb" Enhances)'"
fi

# Files: everything under /usr, the tool, the module and the man page by
# name, the libraries not executable, nothing but docs besides.
dpkg-deb -c "$deb" | grep -v '^d' > "$work/contents"
sed 's|.* \./|/|' "$work/contents" | sort > "$work/files"
grep -v '^/usr/' "$work/files" && fail "files outside /usr"
expected="/usr/bin/devidoriv /usr/lib/devidoriv/devidoriv.so /usr/share/doc/devidoriv/README.md
/usr/share/doc/devidoriv/LICENSE"
[ "$frei0r" = 1 ] && expected="$expected /usr/lib/frei0r-1/devidoriv.so
/usr/share/kdenlive/effects/frei0r_devidoriv.xml /usr/share/shotcut/qml/filters/devidoriv/meta.qml
/usr/share/shotcut/qml/filters/devidoriv/ui.qml"
[ "$man" = 1 ] && expected="$expected /usr/share/man/man1/devidoriv.1.gz"
if [ "$fftw_source" != - ]; then
    expected="$expected /usr/share/doc/devidoriv/fftw/COPYRIGHT"
    for f in "$fftw_source"/*; do
        expected="$expected /usr/share/doc/devidoriv/fftw/source/$(basename "$f")"
    done
fi
for f in $expected; do
    grep -qx "$f" "$work/files" || fail "$f is not in the package"
done
printf '%s\n' $expected | grep -v '^/usr/share/doc/devidoriv/' | sort > "$work/named"
grep -v '^/usr/share/doc/devidoriv/' "$work/files" | diff "$work/named" - ||
    fail "files in the package other than those named"
grep -E '\./usr/lib/.*\.so$' "$work/contents" | grep -v '^-rw-r--r--' &&
    fail "an executable library in the package"

# Depends: one entry for each package that owns a library the binaries
# name as NEEDED, with no others.
dpkg-deb -x "$deb" "$work/root"
owner() {
    for p in "$1" "/usr$1" "$(readlink -f "$1")" "$(readlink -f "$1" | sed 's|^/usr||')"; do
        dpkg -S "$p" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return
    done
    fail "no package owns $1"
}
for f in $(find "$work/root" -type f \( -name '*.so' -o -path '*/usr/bin/*' \)); do
    ldd "$f" > "$work/ldd"
    for soname in $(objdump -p "$f" | awk '$1 == "NEEDED" { print $2 }'); do
        path=$(awk -v s="$soname" '$1 == s && $2 == "=>" { print $3 }' "$work/ldd")
        [ -n "$path" ] || fail "$f: $soname not resolved"
        owner "$path"
    done
done | sort -u > "$work/owners"
dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | sed '/^$/d' | sort -u \
    > "$work/depends"
diff "$work/owners" "$work/depends" ||
    fail "Depends ($(dpkg-deb -f "$deb" Depends)) is not the owners of the NEEDED libraries"
needed="libpng16-16 libstdc++6 libc6"
if [ "$fftw_source" = - ]; then
    needed="$needed libfftw3-single3"
elif grep -q '^libfftw3' "$work/depends"; then
    fail "Depends names an FFTW package, but the module has FFTW built in"
fi
for pkg in $needed; do
    grep -qx "$pkg" "$work/depends" || fail "Depends lacks $pkg"
done

# The unpacked package works where it lies.
loaded=$("$work/root/usr/bin/devidoriv" --help | sed -n 's/^Loaded module: //p')
[ "$loaded" = "$(cd "$work/root" && pwd -P)/usr/lib/devidoriv/devidoriv.so" ] ||
    fail "the package's tool loaded '$loaded'"
echo "$(basename "$deb"): $(wc -l < "$work/files") files; Depends: $(dpkg-deb -f "$deb" Depends)"
