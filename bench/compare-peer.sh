#!/bin/sh
# Devidoriv next to a peer: one 1920x1080 yuv444p clip, filtered with an
# elliptic low-pass on all three planes by the command-line tool and by
# FFmpeg's fftfilt filter, each with 1 and 2 threads. Prints the frames per
# second of both and their ratio, the CPU seconds (user and system) of both
# and their ratio, and the command lines used. CPU seconds are measured by
# GNU time (/usr/bin/time, Debian package time).
#
#   bench/compare-peer.sh              48 frames, best of 2 runs each
#   FRAMES=96 REPEATS=3 bench/compare-peer.sh
#   TOOL=/path/to/devidoriv bench/compare-peer.sh
#
# Wall and CPU seconds are each the best of the runs.
#
# The clip is made by FFmpeg's testsrc2 source into tmpfs (/dev/shm), so
# that reading it costs no disk time, and removed at the end. Both filters
# write into nothing: the tool to /dev/null, FFmpeg to its null muxer.
set -eu

TOOL=${TOOL:-build/devidoriv}
FFMPEG=${FFMPEG:-ffmpeg}
GNU_TIME=${GNU_TIME:-/usr/bin/time}
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
[ -x "$GNU_TIME" ] || { echo "compare-peer: $GNU_TIME not found (Debian package time)" >&2; exit 1; }

clip=$(mktemp "$SHM/devidoriv-peer-XXXXXX")
times_file=$(mktemp)
trap 'rm -f "$clip" "$times_file"' EXIT INT TERM

# Runs "$@" REPEATS times; prints the best wall time and the best CPU time
# (user + system) in seconds.
best_seconds() {
  best_wall=""
  best_cpu=""
  i=0
  while [ "$i" -lt "$REPEATS" ]; do
    "$GNU_TIME" -f '%e %U %S' -o "$times_file" "$@" >/dev/null 2>&1 ||
      { echo "compare-peer: failed: $*" >&2; exit 1; }
    read -r wall user system < "$times_file"
    best_wall=$(awk -v t="$wall" -v b="$best_wall" 'BEGIN { if (b == "" || t < b) b = t; print b }')
    best_cpu=$(awk -v u="$user" -v s="$system" -v b="$best_cpu" \
      'BEGIN { t = u + s; if (b == "" || t < b) b = t; print b }')
    i=$((i + 1))
  done
  echo "$best_wall $best_cpu"
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

# The tool runs twice per thread count: with estimated plans
# (--never-measure, no wisdom cache), and as a render with measured plans
# taken from a wisdom cache of its own that one short run filled first, as
# every render after a user's first one finds it.
wisdom=$(mktemp -d "$SHM/devidoriv-peer-wisdom-XXXXXX")
trap 'rm -f "$clip" "$times_file"; rm -rf "$wisdom"' EXIT INT TERM

echo
echo "Commands (best of $REPEATS runs each):"
results=""
for threads in 1 2; do
  set -- "$FFMPEG" -hide_banner -loglevel error -threads "$threads" \
    -filter_threads "$threads" -i "$clip" -vf "$peer_filter" -f null -
  show "$@"
  peer_s=$(best_seconds "$@")

  for mode in estimated measured; do
    if [ "$mode" = estimated ]; then
      planning=--never-measure
      export DEVIDORIV_WISDOM=off
    else
      planning=--measure-when-saving-only
      export DEVIDORIV_WISDOM="$wisdom/fftw-wisdom.txt"
      "$TOOL" --quiet --threads "$threads" --workers "$threads" --frames 1 "$clip" /dev/null
    fi
    set -- "$TOOL" --quiet "$planning" --threads "$threads" --workers "$threads" \
      --luma-type 0 --luma-a $RADIUS_A --luma-b $RADIUS_B --luma-w $BAND \
      --chroma-type 0 --chroma-a $RADIUS_A --chroma-b $RADIUS_B --chroma-w $BAND \
      "$clip" /dev/null
    show env "DEVIDORIV_WISDOM=$DEVIDORIV_WISDOM" "$@"
    tool_s=$(best_seconds "$@")
    results="$results$(awk -v n="$threads" -v m="$mode" -v f="$FRAMES" -v t="$tool_s" -v p="$peer_s" \
      'BEGIN { split(t, tt, " "); split(p, pp, " ");
               printf "%7d  %-9s  %13.2f  %14.2f  %9.2f  %15.2f  %12.2f  %9.2f", n, m, f / tt[1],
                      f / pp[1], pp[1] / tt[1], tt[2], pp[2], pp[2] / tt[2] }')
"
  done
done

echo
echo "${WIDTH}x${HEIGHT} yuv444p, $FRAMES frames, whole runs (start-up, reading and converting"
echo "the stream included). The tool plans with FFTW_ESTIMATE (estimated) or, as a render,"
echo "with FFTW_MEASURE from its wisdom cache (measured). Frames per second, CPU seconds"
echo "(user + system) of the whole run, and how many times faster or cheaper the tool is:"
echo "threads  plans      devidoriv fps  ffmpeg fftfilt  fps ratio  devidoriv CPU s  ffmpeg CPU s  CPU ratio"
printf '%s' "$results"
