#!/bin/bash
# make gallery's generator, run into a fresh folder: every picture that
# docs/guide.md links is written as a PNG, the generator writes no picture
# that the guide does not show, and the settings that the guide shows on a
# picture's line are those the picture was made with. Pixels are not
# compared: make gallery itself reproduces the committed pictures.
#   gallery_test.sh TOOL COMPOSE SOURCE_DIR WORKDIR
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
set -o pipefail
tool=$1 compose=$2 root=$3
need ffmpeg
work_folder "$4"
TOOL=$tool COMPOSE=$compose "$root/scripts/gallery/make-gallery.sh" "$work/pictures" \
  > "$work/manifest.txt"

guide=$root/docs/guide.md
mapfile -t links < <(grep -o 'images/gallery/[A-Za-z0-9._-]*\.png' "$guide" | sort -u)
[ "${#links[@]}" -gt 0 ] || fail "docs/guide.md links no gallery picture"
png_signature=$(printf '\211PNG\r\n\032\n' | od -An -tx1)
for link in "${links[@]}"; do
  picture=$work/pictures/${link#images/gallery/}
  [ -s "$picture" ] || fail "the guide links $link, which the generator did not write"
  [ "$(head -c 8 "$picture" | od -An -tx1)" = "$png_signature" ] || fail "$link is not a PNG"
done

for picture in "$work"/pictures/*.png; do
  name=$(basename "$picture")
  # A here-string, not a pipe: under pipefail, grep -q leaving at its
  # first match could kill the writer with SIGPIPE and fail the test.
  grep -qxF "images/gallery/$name" <<< "$(printf '%s\n' "${links[@]}")" ||
    fail "the generator wrote $name, which the guide does not show"
done

# Each manifest line is "NAME.png: SETTINGS"; the guide's line with the
# picture shows `SETTINGS`.
checked=0
while IFS= read -r line; do
  name=${line%%: *}
  settings=${line#*: }
  grep -qF "\`$settings\`" <<< "$(grep -F "images/gallery/$name" "$guide")" ||
    fail "the guide does not show $name with its settings \`$settings\`"
  checked=$((checked + 1))
done < "$work/manifest.txt"
[ "$checked" -eq "$(ls "$work"/pictures/*.png | wc -l)" ] ||
  fail "the generator listed the settings of $checked pictures, not of every picture"
echo "${#links[@]} pictures written, each linked with its settings"
