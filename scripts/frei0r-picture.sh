#!/bin/sh
# Renders docs/editors.md's picture of the frei0r plug-in with melt, as an MLT
# editor runs it: one frame of a clip as it is, filtered with the given
# parameters, and filtered with the luma spectrum drawn in, side by side.
#   scripts/frei0r-picture.sh PLUGIN_DIR CLIP FRAME OUTPUT.png NAME=VALUE...
set -eu
plugin_dir=$1 clip=$2 frame=$3 output=$4
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$clip")
width=${size%x*} height=${size#*x}
# A profile of the clip's own size with square pixels, so that MLT hands
# the frames over unscaled.
cat > "$work/profile" <<PROFILE
description=${width}x${height}
frame_rate_num=25
frame_rate_den=1
width=$width
height=$height
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$width
display_aspect_den=$height
colorspace=601
PROFILE
render() {
  out=$1
  shift
  FREI0R_PATH=$plugin_dir melt -quiet -profile "$work/profile" "avformat:$clip" \
    in="$frame" out="$frame" "$@" \
    -consumer "avformat:$work/$out.rgba" f=rawvideo pix_fmt=rgba real_time=-1 </dev/null
}
render before
render after -filter frei0r.devidoriv "$@"
render spectrum -filter frei0r.devidoriv "$@" show_spectrum=1 plane=0 contrast=0.1
ffmpeg -v error -f rawvideo -pix_fmt rgba -s "$size" -i "$work/before.rgba" \
  -f rawvideo -pix_fmt rgba -s "$size" -i "$work/after.rgba" \
  -f rawvideo -pix_fmt rgba -s "$size" -i "$work/spectrum.rgba" \
  -filter_complex "[0][1][2]hstack=inputs=3,format=rgb24" -frames:v 1 -y "$output"
echo "frei0r-picture: $output"
