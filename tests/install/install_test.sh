#!/bin/sh
# The installed tree. The install rules run into a staging folder (DESTDIR)
# under a prefix, as make install PREFIX=... DESTDIR=... runs them; then the
# installed tool runs from there, and again after the tree is moved, with
# nothing telling it where the module is.
#   install_test.sh BUILD_DIR SOURCE_DIR FREI0R MAN
# FREI0R is 1 when the frei0r plug-in is built: ffmpeg, where installed,
# then runs it from the staged lib/frei0r-1. MAN is 1 when the man page is
# built (with help2man). FFTW_SOURCE is the folder of FFTW's source package
# when the module has an FFTW of its own, which is then installed with
# FFTW's COPYRIGHT; "-" for the system's FFTW.
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
build=$1 source=$2 frei0r=$3 man=$4 fftw_source=${5:--}
unset DEVIDORIV_MODULE
work_folder

prefix=/opt/devidoriv
DESTDIR=$work/stage cmake --install "$build" --prefix "$prefix" --component devidoriv \
    > "$work/install.log" || { cat "$work/install.log"; fail "install"; }
root=$(cd "$work/stage$prefix" && pwd -P)

# What is installed: the named files, the docs as in the source tree, and
# nothing else (no header, no static library). Nothing lands outside the
# prefix.
expected="bin/devidoriv lib/devidoriv/devidoriv.so share/doc/devidoriv/README.md
share/doc/devidoriv/LICENSE"
[ "$frei0r" = 1 ] && expected="$expected lib/frei0r-1/devidoriv.so
share/kdenlive/effects/frei0r_devidoriv.xml share/shotcut/qml/filters/devidoriv/meta.qml
share/shotcut/qml/filters/devidoriv/ui.qml"
[ "$man" = 1 ] && expected="$expected share/man/man1/devidoriv.1.gz"
if [ "$fftw_source" != - ]; then
    expected="$expected share/doc/devidoriv/fftw/COPYRIGHT"
    for f in "$fftw_source"/*; do
        installed=share/doc/devidoriv/fftw/source/$(basename "$f")
        cmp -s "$f" "$root/$installed" || fail "$installed is not FFTW's $f"
        expected="$expected $installed"
    done
    grep -q "Copyright (c) .* Matteo Frigo" "$root/share/doc/devidoriv/fftw/COPYRIGHT" ||
        fail "share/doc/devidoriv/fftw/COPYRIGHT is not FFTW's"
fi
for f in $expected; do
    [ -f "$root/$f" ] || fail "$f is not installed"
done
diff -r "$source/docs" "$root/share/doc/devidoriv/docs" || fail "share/doc/devidoriv/docs differs from docs/"
(cd "$root" && find . ! -type d | sed 's|^\./||' | grep -v '^share/doc/devidoriv/docs/' | sort) \
    > "$work/installed"
printf '%s\n' $expected | sort > "$work/expected"
diff "$work/expected" "$work/installed" || fail "installed files other than those listed"
[ "$(cd "$work/stage" && find . ! -type d | grep -vc "^\.$prefix/")" = 0 ] ||
    fail "files installed outside the prefix"
[ -x "$root/bin/devidoriv" ] || fail "bin/devidoriv is not executable"

# Rules outside the component, such as a subproject's, install nothing.
DESTDIR=$work/other cmake --install "$build" --prefix "$prefix" --component Unspecified \
    > "$work/other.log"
[ ! -d "$work/other" ] || [ -z "$(find "$work/other" ! -type d)" ] ||
    fail "files outside the component: $(find "$work/other" ! -type d)"

# The man page: gzipped, written from --help, no path of the build tree.
if [ "$man" = 1 ]; then
    gzip -t "$root/share/man/man1/devidoriv.1.gz" || fail "man page is not gzip"
    gzip -dc "$root/share/man/man1/devidoriv.1.gz" > "$work/devidoriv.1"
    grep -q '^\.TH DEVIDORIV "*1' "$work/devidoriv.1" || fail "man page has no .TH DEVIDORIV 1"
    grep -q 'luma\\-a' "$work/devidoriv.1" || fail "man page lacks the options"
    ! grep -qF "$build" "$work/devidoriv.1" || fail "man page names the build tree"
else
    echo "man page: skipped (not built: help2man is not installed)"
fi

# The installed tool finds the installed module, before and after its tree
# moves.
help_module() {
    "$1/bin/devidoriv" --help | sed -n 's/^Loaded module: //p'
}
[ "$(help_module "$root")" = "$root/lib/devidoriv/devidoriv.so" ] ||
    fail "installed tool loaded '$(help_module "$root")'"
sample=$source/samples/grace_hopper.y4m
# Estimated plans: measured ones may differ from run to run in the last bit.
settings="-q --frames 3 --luma-a 40 --luma-b 30 --chroma-a 20 --never-measure"
# shellcheck disable=SC2086
"$root/bin/devidoriv" $settings "$sample" "$work/installed.y4m" || fail "installed tool failed"
# shellcheck disable=SC2086
"$build/devidoriv" $settings "$sample" "$work/built.y4m"
[ "$(grep -ao FRAME "$work/installed.y4m" | wc -l)" = 3 ] || fail "not 3 frames"
cmp -s "$work/built.y4m" "$work/installed.y4m" || fail "installed tool filters unlike the built one"

mkdir -p "$work/moved$(dirname "$prefix")"
mv "$work/stage$prefix" "$work/moved$prefix"
moved=$(cd "$work/moved$prefix" && pwd -P)
[ "$(help_module "$moved")" = "$moved/lib/devidoriv/devidoriv.so" ] ||
    fail "moved tool loaded '$(help_module "$moved")'"

# A frei0r host finds the plug-in through FREI0R_PATH, and the plug-in the
# module beside it.
if [ "$frei0r" = 1 ] && ! command -v ffmpeg > /dev/null; then
    echo "frei0r plug-in in ffmpeg: skipped (ffmpeg is not installed)"
elif [ "$frei0r" = 1 ]; then
    FREI0R_PATH=$moved/lib/frei0r-1 ffmpeg -nostdin -v error \
        -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 3 \
        -vf frei0r=filter_name=devidoriv -f framemd5 "$work/frei0r.md5" ||
        fail "ffmpeg with the staged frei0r plug-in"
    [ "$(grep -vc '^#' "$work/frei0r.md5")" = 3 ] || fail "ffmpeg did not filter 3 frames"
fi
# make uninstall's script, on this install's record: nothing of the
# project's is left, not even its empty folders.
DESTDIR=$work/moved sh "$source/scripts/uninstall.sh" "$build/install_manifest_devidoriv.txt" \
    > "$work/uninstall.log" || { cat "$work/uninstall.log"; fail "uninstall"; }
left=$(cd "$moved" && find . ! -type d; find . -type d -path '*devidoriv*')
[ -z "$left" ] || fail "left after uninstall: $left"

echo "installed tree under $prefix: $(wc -l < "$work/installed") files and docs/, tool and module found"
