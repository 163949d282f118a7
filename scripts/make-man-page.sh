#!/bin/sh
# Writes the tool's man page from its --help with help2man, gzipped as
# Debian wants man pages (gzip -9n: no file name, no time stamp).
#   make-man-page.sh HELP2MAN TOOL MODULE VERSION INCLUDE.h2m OUTPUT.1.gz
# The help lists the defaults and ranges of MODULE, the module of the same
# build. Its "Loaded module:" line names a file of the build tree and is
# left out of the page.
set -eu
help2man=$1 tool=$2 module=$3 version=$4 include=$5 output=$6

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# help2man names the page after the program it runs, so it runs a wrapper
# called devidoriv.
{
    echo '#!/bin/sh'
    printf "DEVIDORIV_MODULE='%s' '%s' \"\$@\" > '%s/help' || exit\n" "$module" "$tool" "$work"
    printf "sed '/^Loaded module:/d' '%s/help'\n" "$work"
} > "$work/devidoriv"
chmod +x "$work/devidoriv"

"$help2man" --no-info --section=1 --version-string="$version" \
    --name="filter YUV4MPEG2 video through the Devidoriv module" \
    --include="$include" --output="$work/devidoriv.1" "$work/devidoriv"
mkdir -p "$(dirname "$output")"
gzip -9n < "$work/devidoriv.1" > "$output.tmp"
mv "$output.tmp" "$output"
