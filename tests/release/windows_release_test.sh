#!/bin/sh
# The Windows release archive as a user unpacks it: the file list, the
# plug-in being the one built, the read-mes readable on Windows (the
# Japanese one in code page 932, both with CRLF lines, nothing left
# unfilled), the licence, and the corresponding source: the project's
# archive at this version and an FFTW source package that unpacks.
# Last, the release made again in a clone whose working tree differs from
# its commit while another git command holds the repository's index lock:
# it succeeds, and its source archive holds the working tree.
#   windows_release_test.sh ZIP AUF VERSION SOURCE_DIR FFTW_PREFIX
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
zip=$1 auf=$2 version=$3 source=$4 fftw=$5
work_folder

[ -f "$zip" ] || fail "no $zip"
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
zip=$(absolute "$zip") auf=$(absolute "$auf")
mkdir "$work/x"
cd "$work/x"
cmake -E tar xf "$zip"

find . -type f | sed 's|^\./||' | sort > "$work/files"
fixed="devidoriv.auf README-en.txt README-ja.txt LICENSE.txt licenses/FFTW-COPYRIGHT.txt
licenses/mingw-w64-runtime.txt source/devidoriv-$version.tar.gz"
for f in $fixed; do grep -qx "$f" "$work/files" || fail "$f is not in the archive"; done
for pattern in 'source/fftw3_[^/]*\.dsc' 'source/fftw3_[^/]*\.orig\.tar\.[a-z0-9]*' \
               'source/fftw3_[^/]*\.debian\.tar\.[a-z0-9]*'; do
    [ "$(grep -cx "$pattern" "$work/files")" = 1 ] || fail "not one file $pattern"
done
[ "$(wc -l < "$work/files")" = 10 ] || fail "other files in the archive: $(cat "$work/files")"

cmp devidoriv.auf "$auf" || fail "devidoriv.auf is not the built $auf"
grep -aq "Devidoriv version $version" devidoriv.auf || fail "devidoriv.auf is not version $version"

# CRLF on every line, and no line end without it.
crlf_only() {
    [ "$(tr -cd '\n' < "$1" | wc -c)" -gt 0 ] &&
    [ "$(tr -cd '\n' < "$1" | wc -c)" = "$(grep -c "$(printf '\r')\$" "$1")" ]
}
for f in README-ja.txt README-en.txt LICENSE.txt; do
    crlf_only "$f" || fail "$f has lines without CRLF"
done
iconv -f CP932 -t UTF-8 README-ja.txt > "$work/ja.txt" || fail "README-ja.txt is not code page 932"
grep -q 'アンインストール' "$work/ja.txt" || fail "README-ja.txt decodes to no Japanese"
[ "$(head -c 3 README-en.txt | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
    fail "README-en.txt has no UTF-8 byte-order mark"
iconv -f UTF-8 -t UTF-8 README-en.txt > /dev/null || fail "README-en.txt is not UTF-8"
for f in "$work/ja.txt" README-en.txt; do
    ! grep -q '@[A-Z_]*@' "$f" || fail "$f has a placeholder left: $(grep '@[A-Z_]*@' "$f")"
    grep -q "devidoriv-$version.tar.gz" "$f" || fail "$f does not name the source archive"
done
tr -d '\r' < LICENSE.txt | cmp -s - "$source/LICENSE" || fail "LICENSE.txt is not LICENSE"

# The source: this project at this version, and FFTW's package complete.
tar -xzf "source/devidoriv-$version.tar.gz" -C "$work" "devidoriv-$version/CMakeLists.txt" ||
    fail "the source archive has no devidoriv-$version/CMakeLists.txt"
grep -q "^project(devidoriv VERSION ${version}[ )]" "$work/devidoriv-$version/CMakeLists.txt" ||
    fail "the source archive is not version $version"
# dpkg-source checks the files against the checksums of the .dsc.
dpkg-source -x source/fftw3_*.dsc "$work/fftw" > "$work/dpkg-source.log" 2>&1 ||
    { cat "$work/dpkg-source.log"; fail "the FFTW source package does not unpack"; }
[ -x "$work/fftw/configure" ] || fail "the FFTW source package holds no configure"
echo "$(basename "$zip"): $(wc -l < "$work/files") files, $(wc -c < "$zip") bytes"

git clone --quiet --shared "$source" "$work/clone"
echo "a change in the working tree" >> "$work/clone/README.md"
touch "$work/clone/.git/index.lock"
"$work/clone/scripts/make-windows-release.sh" "$version" "$auf" "$fftw" "$work/again.zip" \
    > "$work/again.log" 2>&1 || { cat "$work/again.log"; fail "the release failed beside a git lock"; }
mkdir "$work/again"
(cd "$work/again" && cmake -E tar xf "$work/again.zip" &&
 tar -xzf "source/devidoriv-$version.tar.gz" "devidoriv-$version/README.md")
tail -n 1 "$work/again/devidoriv-$version/README.md" | grep -qx "a change in the working tree" ||
    fail "the source archive made beside a git lock is not the working tree"
echo "made again beside a git lock, from a changed working tree: the change is in its source"
