#!/bin/sh
# Devidoriv next to a peer: one 1920x1080 yuv444p clip, filtered with an
# elliptic low-pass on all three planes by the command-line tool and by
# FFmpeg's fftfilt filter, each with 1 and 2 threads. Prints the frames per
# second of both, their ratio, and the command lines used.
#
#   bench/compare-peer.sh              48 frames, best of 2 runs each
#   FRAMES=96 REPEATS=3 bench/compare-peer.sh
#   TOOL=/path/to/devidoriv bench/compare-peer.sh
#
# The clip is made by FFmpeg's testsrc2 source into tmpfs (/dev/shm), so
# that reading it costs no disk time, and removed at the end. Both filters
# write into nothing: the tool to /dev/null, FFmpeg to its null muxer.
set -eu

TOOL=${TOOL:-build/devidoriv}
FFMPEG=${FFMPEG:-ffmpeg}
FRAMES=${FRAMES:-48}
REPEATS=${REPEATS:-2}
WIDTH=1920
HEIGHT=1080
SHM=${SHM:-/dev/shm}

# The tool's mask: the module's default ellipse (type 0) with radii a
# (columns) and b (rows) in frequency bins and a transition band of
# +-BAND percent, the same on luma and chroma.
RADIUS_A=160
RADIUS_B=120
BAND=50

if [ ! -x "$TOOL" ]; then
  echo "compare-peer: $TOOL not found; build it first (make)" >&2
  exit 1
fi
command -v "$FFMPEG" >/dev/null 2>&1 || { echo "compare-peer: $FFMPEG not found" >&2; exit 1; }

clip=$(mktemp "$SHM/devidoriv-peer-XXXXXX")
trap 'rm -f "$clip"' EXIT INT TERM

# Seconds since the epoch with nanoseconds.
now() { date +%s.%N; }

# Runs "$@" REPEATS times, prints the best wall time in seconds.
best_seconds() {
  best=""
  i=0
  while [ "$i" -lt "$REPEATS" ]; do
    start=$(now)
    "$@" >/dev/null 2>&1 || { echo "compare-peer: failed: $*" >&2; exit 1; }
    end=$(now)
    best=$(awk -v s="$start" -v e="$end" -v b="$best" \
      'BEGIN { t = e - s; if (b == "" || t < b) b = t; print b }')
    i=$((i + 1))
  done
  echo "$best"
}

# Prints a command line as it would be typed.
show() {
  printf '  '
  for arg in "$@"; do
    case $arg in
      *[!A-Za-z0-9_./:=+-]*) printf "'%s' " "$(printf '%s' "$arg" | sed "s/'/'\\\\''/g")" ;;
      *) printf '%s ' "$arg" ;;
    esac
  done
  printf '\n'
}

echo "Clip: $FRAMES frames of testsrc2, ${WIDTH}x${HEIGHT} yuv444p, in $clip"
set -- "$FFMPEG" -hide_banner -loglevel error -y -f lavfi \
  -i "testsrc2=size=${WIDTH}x${HEIGHT}:rate=25" -frames:v "$FRAMES" -pix_fmt yuv444p \
  -f yuv4mpegpipe "$clip"
show "$@"
"$@"

# fftfilt pads each plane to powers of two of at least 10/9 of its size and
# indexes its weights by the slots of its packed real transforms, two per
# frequency step: the tool's radii, in bins of the frame, become
# 2 x radius x padded / size there. Its weight falls linearly from 1 at
# half the radius to 0 at one and a half radii, the tool's band of +-50 %
# with a straight instead of a sine-shaped taper.
padded() {
  n=2
  while [ "$n" -lt $(( $1 * 10 / 9 )) ]; do n=$((n * 2)); done
  echo "$n"
}
peer_a=$(( 2 * RADIUS_A * $(padded $WIDTH) / WIDTH ))
peer_b=$(( 2 * RADIUS_B * $(padded $HEIGHT) / HEIGHT ))
inside=$(awk -v p=$BAND 'BEGIN { print 1 + p / 100 }')
weight="clip($inside-hypot(X/$peer_a\\,Y/$peer_b)\\,0\\,1)"
peer_filter="fftfilt=dc_Y=0:dc_U=0:dc_V=0:weight_Y='$weight':weight_U='$weight':weight_V='$weight'"

echo
echo "Commands (best of $REPEATS runs each):"
results=""
for threads in 1 2; do
  set -- "$TOOL" --quiet --never-measure --threads "$threads" --workers "$threads" \
    --luma-type 0 --luma-a $RADIUS_A --luma-b $RADIUS_B --luma-w $BAND \
    --chroma-type 0 --chroma-a $RADIUS_A --chroma-b $RADIUS_B --chroma-w $BAND \
    "$clip" /dev/null
  show "$@"
  tool_s=$(best_seconds "$@")

  set -- "$FFMPEG" -hide_banner -loglevel error -threads "$threads" \
    -filter_threads "$threads" -i "$clip" -vf "$peer_filter" -f null -
  show "$@"
  peer_s=$(best_seconds "$@")

  results="$results$(awk -v n="$threads" -v f="$FRAMES" -v t="$tool_s" -v p="$peer_s" \
    'BEGIN { printf "%7d  %14.2f  %14.2f  %16.2f", n, f / t, f / p, p / t }')
"
done

echo
echo "Frames per second, ${WIDTH}x${HEIGHT} yuv444p, $FRAMES frames, whole runs (start-up,"
echo "reading and converting the stream included; the tool plans with FFTW_ESTIMATE):"
echo "threads  devidoriv fps  ffmpeg fftfilt  devidoriv/ffmpeg"
printf '%s' "$results"
