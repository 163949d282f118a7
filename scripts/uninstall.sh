#!/bin/sh
# Removes what make install wrote: every file of the install record that
# cmake --install leaves in the build folder, then the folders of the
# project's own that are left empty (lib/devidoriv, share/doc/devidoriv and
# the folders below it, Shotcut's share/shotcut/qml/filters/devidoriv). Shared folders such as bin stay. The record names
# the files without DESTDIR (and ends without a newline); an install into
# DESTDIR is removed from there.
#   [DESTDIR=...] uninstall.sh BUILD_DIR/install_manifest.txt
set -eu
manifest=$1
destdir=${DESTDIR:-}
if [ ! -f "$manifest" ]; then
    echo "uninstall: no $manifest: nothing was installed from this build folder" >&2
    exit 1
fi

# The project's folder that holds file $1, or nothing.
own_folder() {
    case $1 in
        */lib/devidoriv/*) echo "${1%%/lib/devidoriv/*}/lib/devidoriv" ;;
        */share/doc/devidoriv/*) echo "${1%%/share/doc/devidoriv/*}/share/doc/devidoriv" ;;
        */share/shotcut/qml/filters/devidoriv/*)
            echo "${1%%/share/shotcut/qml/filters/devidoriv/*}/share/shotcut/qml/filters/devidoriv" ;;
    esac
}

removed=0 missing=0
while IFS= read -r file || [ -n "$file" ]; do
    [ -n "$file" ] || continue
    file=$destdir$file
    if [ -e "$file" ] || [ -L "$file" ]; then
        echo "removing $file"
        rm -f -- "$file"
        removed=$((removed + 1))
    else
        echo "not there: $file"
        missing=$((missing + 1))
    fi
done < "$manifest"
# From each file's folder up to the project's folder, the empty ones.
while IFS= read -r file || [ -n "$file" ]; do
    file=$destdir$file
    top=$(own_folder "$file")
    [ -n "$top" ] || continue
    dir=$(dirname "$file")
    while rmdir -- "$dir" 2>/dev/null; do
        [ "$dir" != "$top" ] || break
        dir=$(dirname "$dir")
    done
done < "$manifest"
echo "uninstall: $removed files removed, $missing already gone"
