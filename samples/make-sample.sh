#!/bin/sh
# Makes samples/grace_hopper.y4m, the tool's bundled clip, from the
# photograph that Debian's python-matplotlib-data ships: a 512 x 384 crop
# (hat to collar), 32 frames of 320 x 240 at 24 fps with a slow zoom and a
# slight pan, 4:2:0 8-bit limited range. Needs ffmpeg and the package.
set -eu
photo=/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg
out=${1:-"$(dirname "$0")/grace_hopper.y4m"}
[ -r "$photo" ] || { echo "missing $photo: apt-get install python-matplotlib-data" >&2; exit 1; }
ffmpeg -v error -y -loop 1 -i "$photo" \
  -vf "crop=512:384:0:10,scale=1280:960:flags=lanczos,zoompan=z='1+0.0035*on':x='(iw-iw/zoom)*0.4+on*2':y='(ih-ih/zoom)*0.35':d=32:s=320x240:fps=24,format=yuv420p" \
  -color_range tv -frames:v 32 -f yuv4mpegpipe "$out"
