#!/bin/bash
# Builds the Windows release archive, what an editor user downloads:
#   devidoriv.auf                the plug-in
#   README-en.txt, README-ja.txt the read-me, English (UTF-8 with a byte-order
#                                mark) and Japanese (code page 932), CRLF lines
#   LICENSE.txt                  the GPL
#   licenses/                    FFTW's copyright notice and the notices of the
#                                MinGW-w64 run time built into the plug-in
#   source/                      the corresponding source: this project at this
#                                version (git archive) and the Debian source
#                                package of the FFTW linked into the plug-in
#   make-windows-release.sh VERSION AUF FFTW_PREFIX OUTPUT.zip
# FFTW_PREFIX is the FFTW installation the plug-in was built against; its
# source/ folder holds the source package that scripts/build-fftw.sh
# built it from.
set -eEu
# Any command that fails, one in a command substitution included, names
# itself and its line before the script ends.
trap 'echo "make-windows-release: line $LINENO: \"$BASH_COMMAND\" failed (exit status $?)" >&2' ERR
version=$1 auf=$2 fftw=$3 output=$4
root=$(cd "$(dirname "$0")/.." && pwd)
[ -n "$version" ] || { echo "make-windows-release: no version" >&2; exit 2; }
fail() { echo "make-windows-release: $*" >&2; exit 1; }

[ -f "$auf" ] || fail "no $auf (make windows builds it)"
# The .auf must be of this version: its information string says so.
grep -aq "Devidoriv version $version" "$auf" || fail "$auf is not version $version"

# FFTW's source package, checked against the checksums of its .dsc.
set -- "$fftw"/source/*.dsc
[ $# = 1 ] && [ -f "$1" ] ||
    fail "no single FFTW source package in $fftw/source (rebuild it: rm -rf $fftw; make windows)"
dsc=$1
fftw_files=$(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                  on && NF == 3 { print $3 }' "$dsc")
[ -n "$fftw_files" ] || fail "$dsc lists no files"
(cd "$fftw/source" && awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                           on && NF == 3 { print $1 "  " $3 }' "$(basename "$dsc")" |
    sha256sum -c --quiet) || fail "the files of $dsc do not match its checksums"
fftw_package="$(sed -n 's/^Source: //p' "$dsc" | head -n 1) $(sed -n 's/^Version: //p' "$dsc" | head -n 1)"

git -C "$root" rev-parse --git-dir > /dev/null 2>&1 ||
    fail "the project's source archive is made with git: $root is not a git checkout"
untracked=$(git -C "$root" ls-files --others --exclude-standard)
[ -z "$untracked" ] || echo "make-windows-release: not in the source archive (untracked): $untracked" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The commit, or a commit of the working tree when tracked files differ
# from it, so that the archive is the source of the plug-in being shipped.
# The working tree's tracked files are read into an index of this script's
# own: the repository's index is never locked or written, so that another
# git command at the same time (git stash create fails without a word
# while one holds the index's lock) cannot spoil the release. The commit
# is dated as HEAD, so that the same tree gives the same archive.
export GIT_INDEX_FILE=$work/index
git -C "$root" read-tree HEAD
git -C "$root" add --update
tree=$(git -C "$root" write-tree)
unset GIT_INDEX_FILE
commit=HEAD
if [ "$tree" != "$(git -C "$root" rev-parse 'HEAD^{tree}')" ]; then
    date=$(git -C "$root" log -1 --format=%cI HEAD)
    commit=$(GIT_AUTHOR_DATE=$date GIT_COMMITTER_DATE=$date \
             GIT_AUTHOR_NAME=devidoriv GIT_AUTHOR_EMAIL=devidoriv@localhost \
             GIT_COMMITTER_NAME=devidoriv GIT_COMMITTER_EMAIL=devidoriv@localhost \
             git -C "$root" commit-tree -p HEAD -m "working tree of the release" "$tree")
fi
stage=$work/stage
mkdir -p "$stage/licenses" "$stage/source"

cp "$auf" "$stage/devidoriv.auf"

# The read-me: the version and the source package's files put in, CRLF
# line ends; the Japanese copy in code page 932, the English one in UTF-8
# with a byte-order mark, since it quotes the Japanese labels.
file_lines=$(printf '%s\n' "$(basename "$dsc")" $fftw_files | sed 's/^/  /')
fill() {
    awk -v version="$version" -v package="$fftw_package" -v files="$file_lines" '
        $0 == "@FFTW_FILES@" { print files; next }
        { gsub(/@VERSION@/, version); gsub(/@FFTW_PACKAGE@/, package); print }' "$1"
}
crlf() { sed 's/$/\r/'; }
{ printf '\357\273\277'; fill "$root/packaging/windows/README-en.txt" | crlf; } > "$stage/README-en.txt"
fill "$root/packaging/windows/README-ja.txt" | iconv -f UTF-8 -t CP932 | crlf > "$stage/README-ja.txt"
crlf < "$root/LICENSE" > "$stage/LICENSE.txt"

# Notices: FFTW's, from its source, and those of the MinGW-w64 run time
# (the thread library and start-up code linked into the plug-in), from the
# Debian package that ships it.
orig=$(printf '%s\n' "$fftw_files" | grep '\.orig\.tar\.' | head -n 1)
[ -n "$orig" ] || fail "$dsc has no .orig tarball"
tar -xOf "$fftw/source/$orig" --wildcards '*/COPYRIGHT' | crlf > "$stage/licenses/FFTW-COPYRIGHT.txt"
[ -s "$stage/licenses/FFTW-COPYRIGHT.txt" ] || fail "no COPYRIGHT in $orig"
runtime=/usr/share/doc/mingw-w64-i686-dev/copyright
[ -f "$runtime" ] || fail "no $runtime (Debian: mingw-w64-i686-dev)"
crlf < "$runtime" > "$stage/licenses/mingw-w64-runtime.txt"

git -C "$root" archive --format=tar.gz --prefix="devidoriv-$version/" \
    -o "$stage/source/devidoriv-$version.tar.gz" "$commit"
cp "$dsc" "$stage/source/"
for f in $fftw_files; do cp "$fftw/source/$f" "$stage/source/"; done

# Every entry dated by the commit, so that the same commit gives the same
# archive.
mtime=$(TZ=UTC git -C "$root" log -1 --format=%cd --date=format-local:'%Y-%m-%d %H:%M:%S UTC' HEAD)
mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
rm -f "$output"
(cd "$stage" && TZ=UTC cmake -E tar cf "$output" --format=zip --mtime="$mtime" \
    devidoriv.auf README-en.txt README-ja.txt LICENSE.txt licenses source)
echo "make-windows-release: $output"
