#!/bin/bash
# Renders the pictures of docs/guide.md with the command-line tool:
#   scripts/gallery/make-gallery.sh OUTDIR
# Environment: TOOL (default build/devidoriv), COMPOSE (build/png-compose),
# SAMPLE (samples/grace_hopper.y4m; another clip is scaled to 320 pixels
# wide and must then be at least 210 rows high, for the enlarged details).
#
# The pictures are of frame 16 of the sample clip (320 x 240): its luma
# alone (grey) for the luma settings, the colour frame for chroma. Every
# picture is made of the tool's snapshots: the filtered frame and, beside
# it, the spectrum block (width/2 + 1 columns, the full height) of a
# second run with --show-spectrum, joined by png-compose. All runs use
# --preview, so FFTW plans by estimate and the pictures come out the same
# byte for byte on every run; the FFTW wisdom cache is off for the same
# reason.
#
# Each picture's settings are printed as "NAME.png: SETTINGS"; the guide
# shows them next to the picture.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=${TOOL:-$root/build/devidoriv}
compose=${COMPOSE:-$root/build/png-compose}
sample=${SAMPLE:-$root/samples/grace_hopper.y4m}
for program in "$tool" "$compose"; do
  [ -x "$program" ] || { echo "$0: $program is missing: build it with make" >&2; exit 1; }
done
command -v ffmpeg > /dev/null || { echo "$0: ffmpeg is missing" >&2; exit 1; }

export DEVIDORIV_WISDOM=off
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/gallery.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The frame of the pictures, counted from 0, and the width the pictures
# show it at.
frame=16
width=320
# The contrast of the spectrum views: the passed band in light and mid
# greys, the removed part black, so that the mask's edge shows.
view_contrast=256
# A detail of the face and the hat, shown twice enlarged: grain and
# colour bleeding are too fine to see at the frame's own size.
detail_face=80,90,160,120
detail_hat=0,0,160,120

# The three single-frame sources: the colour frame (scaled to the width
# when the clip has another; the bundled one is 320 x 240 and passes
# unchanged), its luma plane (exactly, as a mono clip), and the luma with
# a fine periodic pattern added: two diagonal waves, 5.2 pixels across and
# 12.4 rows down, like a screen or an interference pattern.
ffmpeg -v error -nostdin -i "$sample" \
  -vf "select=eq(n\,$frame),scale=$width:-2:flags=bicubic+accurate_rnd+full_chroma_int" \
  -frames:v 1 -c:v wrapped_avframe -f yuv4mpegpipe "$work/colour.y4m"
ffmpeg -v error -nostdin -i "$work/colour.y4m" -vf extractplanes=y \
  -c:v wrapped_avframe -f yuv4mpegpipe "$work/luma.y4m"
ffmpeg -v error -nostdin -i "$work/luma.y4m" \
  -vf "geq=lum='clip(p(X\,Y)+12*cos(2*PI*(X/5.2+Y/12.4))+12*cos(2*PI*(X/5.2-Y/12.4))\,0\,255)'" \
  -c:v wrapped_avframe -f yuv4mpegpipe "$work/pattern.y4m"
# The spectrum block: width/2 + 1 columns, the frame's height.
height=$(head -n 1 "$work/colour.y4m" | tr ' ' '\n' | sed -n 's/^H//p')
block=0,0,$((width / 2 + 1)),$height

# snapshot SOURCE PNG OPTIONS...: one tool run on a source, its frame
# written as PNG.
snapshot() {
  local source=$1 png=$2
  shift 2
  "$tool" --quiet --preview "$@" --snapshot 0:"$png" "$work/$source.y4m" /dev/null
}

# pair NAME SOURCE VIEW SETTINGS...: the frame filtered with SETTINGS and,
# beside it, the spectrum view of the same run with the view options VIEW.
pair() {
  local name=$1 source=$2 view=$3
  shift 3
  snapshot "$source" "$work/frame.png" "$@"
  # shellcheck disable=SC2086 # VIEW is a list of options
  snapshot "$source" "$work/view.png" "$@" --show-spectrum $view
  "$compose" "$out/$name.png" "$work/frame.png" -c "$block" "$work/view.png"
  echo "$name.png: $*"
}

luma_view="--contrast $view_contrast"

# The frame as read and its luma spectrum.
pair original luma "$luma_view" --no-luma --no-chroma

# The six mask types at one set of radii and a 50 % transition.
types=(ellipse rectangle ellipse-cut rectangle-cut vertical horizontal)
for t in 0 1 2 3 4 5; do
  pair "type-$t-${types[$t]}" luma "$luma_view" --luma-type "${types[$t]}" --luma-a 60 --luma-b 45 --luma-w 50
done

# Small and large radii of the low-pass, and a large corner cut.
pair radius-small luma "$luma_view" --luma-type ellipse --luma-a 20 --luma-b 15 --luma-w 50
pair radius-large luma "$luma_view" --luma-type ellipse --luma-a 120 --luma-b 90 --luma-w 50
pair cut-large luma "$luma_view" --luma-type ellipse-cut --luma-a 130 --luma-b 98 --luma-w 50

# The transition width: a hard edge rings, a wide taper does not.
for w in 0 50 100; do
  pair "transition-$w" luma "$luma_view" --luma-type ellipse --luma-a 30 --luma-b 22 --luma-w "$w"
done

# contrasts NAME SETTINGS...: the spectrum view of one run at the
# contrasts 0, 256 and 1024, side by side.
contrasts() {
  local name=$1 c
  shift
  local views=()
  for c in 0 256 1024; do
    snapshot luma "$work/contrast-$c.png" "$@" --show-spectrum --contrast "$c"
    views+=(-c "$block" "$work/contrast-$c.png")
  done
  "$compose" "$out/$name.png" "${views[@]}"
  echo "$name.png: $*"
}
contrasts contrast-original --no-luma --no-chroma
contrasts contrast-mask --luma-type ellipse --luma-a 60 --luma-b 45 --luma-w 50

# A periodic pattern in the view, and a horizontal low-pass that removes it.
pair periodic pattern "$luma_view" --no-luma --no-chroma
pair periodic-removed pattern "$luma_view" --luma-type horizontal --luma-a 48 --luma-w 20

# Fine noise: the face before and after a wide low-pass with a soft edge,
# twice enlarged.
noise_settings=(--luma-type ellipse --luma-a 110 --luma-b 82 --luma-w 30)
snapshot luma "$work/noise-before.png" --no-luma --no-chroma
snapshot luma "$work/noise-after.png" "${noise_settings[@]}"
"$compose" "$out/noise.png" -c "$detail_face" -z 2 "$work/noise-before.png" \
  -c "$detail_face" -z 2 "$work/noise-after.png"
echo "noise.png: ${noise_settings[*]}"

# Chroma alone: the flag and the hat before and after a strong chroma
# low-pass with the luma untouched, twice enlarged, and the Cb spectrum of
# the filtered frame.
chroma_settings=(--no-luma --chroma-type ellipse --chroma-a 8 --chroma-b 6 --chroma-w 50)
snapshot colour "$work/chroma-before.png" --no-luma --no-chroma
snapshot colour "$work/chroma-after.png" "${chroma_settings[@]}"
snapshot colour "$work/chroma-view.png" "${chroma_settings[@]}" --show-spectrum --plane cb \
  --contrast "$view_contrast"
"$compose" "$out/chroma-only.png" -c "$detail_hat" -z 2 "$work/chroma-before.png" \
  -c "$detail_hat" -z 2 "$work/chroma-after.png" -c "$block" "$work/chroma-view.png"
echo "chroma-only.png: ${chroma_settings[*]}"
