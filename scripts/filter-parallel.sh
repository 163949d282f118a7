#!/bin/bash
# Filters a clip with several tool processes at once, on this machine or
# on several: ffmpeg's segment muxer cuts the input at keyframes, GNU
# parallel runs one devidoriv process per segment, and ffmpeg's concat
# demuxer joins the filtered pieces. The module filters every frame on its
# own, so the joined clip is frame for frame what one process would write.
#
#   scripts/filter-parallel.sh [OPTIONS] [TOOL OPTIONS] INPUT OUTPUT
#
# Everything before INPUT that is not one of the options below goes to the
# tool (build/devidoriv --help lists them), e.g.
#   scripts/filter-parallel.sh -j 4 --luma-a 60 --luma-b 45 in.mkv out.mkv
#
#   -j N, --jobs N           tool processes at once on each machine (default:
#                            one per processor core)
#   -S LOGINS, --sshlogin LOGINS
#                            machines to run on, as GNU parallel's -S: a
#                            comma-separated list of [N/][user@]host, ':' for
#                            this machine, e.g. ':,8/alice@node1,node2'. Each
#                            needs ssh access without a password, rsync,
#                            bash, ffmpeg and the tool at the path of --tool;
#                            this machine needs rsync too.
#   --segment-seconds S      segment length in seconds (default 10); each cut
#                            is at the first keyframe from a multiple of S on
#   --encode 'OPTIONS'       ffmpeg output options for the pieces when OUTPUT
#                            is not Y4M, e.g. '-c:v libx264 -crf 18'
#                            (default: ffmpeg's defaults for OUTPUT's format)
#   --audio 'OPTIONS'        ffmpeg options for the input's audio in a non-Y4M
#                            OUTPUT (default '-c:a copy'), e.g. '-c:a aac';
#                            'none' leaves the audio out
#   --tool PATH              the tool (default: $DEVIDORIV_TOOL, else
#                            build/devidoriv of this checkout, else
#                            devidoriv on PATH)
#   -h, --help               this text
#
# Y4M in and out (.y4m) goes through without any other codec. Any other
# input is cut without re-encoding (into Matroska segments) and decoded for
# the tool; any other output is encoded piece by piece and joined without
# re-encoding, with the input's audio (copied, or as --audio says). Cutting at
# keyframes is exact for intra-only and closed-GOP video (Y4M, FFV1, x264's
# defaults); a variable frame rate comes out constant. The segments and
# pieces live in a temporary folder under $TMPDIR (default /tmp), removed
# at the end; long clips need room there for the pieces.
#
# Exit status: 0 when every segment was filtered and the output written,
# 2 for a usage error, 1 otherwise (the failed segments are named; the
# output is not written or is removed).
set -euo pipefail

program=filter-parallel
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '/^#   scripts/,/^#   -h, --help/p' "$0" | sed 's/^# \{0,1\}//'
}

die_usage() {
  echo "$program: $1" >&2
  echo "usage: scripts/filter-parallel.sh [OPTIONS] [TOOL OPTIONS] INPUT OUTPUT (--help for more)" >&2
  exit 2
}

die() {
  echo "$program: $1" >&2
  exit 1
}

jobs=""
sshlogin=""
segment_seconds=10
encode=""
audio="-c:a copy"
tool=""
tool_args=()
args=("$@")
count=${#args[@]}
i=0
# The value of the option at args[i], "--opt VALUE" or "--opt=VALUE", into
# optval; i moves past it.
value() {
  if [[ ${args[$i]} == *=* ]]; then
    optval=${args[$i]#*=}
  else
    i=$((i + 1))
    [ "$i" -lt $((count - 2)) ] || die_usage "${args[$((i - 1))]} wants a value"
    optval=${args[$i]}
  fi
}
for arg in "$@"; do
  case $arg in -h | --help) usage; exit 0 ;; esac
done
[ "$count" -ge 2 ] || die_usage "name INPUT and OUTPUT"
while [ "$i" -lt $((count - 2)) ]; do
  arg=${args[$i]}
  case $arg in
    -j | --jobs | --jobs=*) value; jobs=$optval
      [[ $jobs =~ ^[1-9][0-9]*$ ]] || die_usage "--jobs wants a positive number, not '$jobs'" ;;
    -S | --sshlogin | --sshlogin=*) value; sshlogin=$optval
      [ -n "$sshlogin" ] || die_usage "--sshlogin wants a list of machines" ;;
    --segment-seconds | --segment-seconds=*) value; segment_seconds=$optval
      [[ $segment_seconds =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ && ! $segment_seconds =~ ^[0.]+$ ]] ||
        die_usage "--segment-seconds wants a positive number of seconds, not '$segment_seconds'" ;;
    --encode | --encode=*) value; encode=$optval ;;
    --audio | --audio=*) value; audio=$optval ;;
    --tool | --tool=*) value; tool=$optval ;;
    # Frame numbers would count from the start of each segment.
    --start | --start=* | --frames | --frames=* | --snapshot | --snapshot=* | \
      --snapshot-input | --snapshot-input=*)
      die_usage "${arg%%=*} counts frames of one process: run build/devidoriv itself for it" ;;
    *) tool_args+=("$arg") ;;
  esac
  i=$((i + 1))
done
input=${args[$((count - 2))]}
output=${args[$((count - 1))]}

[ "$input" != - ] && [ "$output" != - ] || die_usage "INPUT and OUTPUT must be files, not standard input or output"
[ -f "$input" ] && [ -r "$input" ] || die "$input: no such readable file"
if [ -e "$output" ] && [ "$input" -ef "$output" ]; then
  die_usage "input and output are the same file: $input"
fi
if [ -z "$tool" ]; then
  if [ -n "${DEVIDORIV_TOOL:-}" ]; then
    tool=$DEVIDORIV_TOOL
  elif [ -x "$root/build/devidoriv" ]; then
    tool=$root/build/devidoriv
  else
    tool=$(command -v devidoriv) || die "no tool: build it with make, or name it with --tool"
  fi
fi
for program_needed in ffmpeg parallel; do
  command -v "$program_needed" > /dev/null || die "$program_needed is not installed"
done
# The tool by its absolute path, which the jobs on other machines use too.
# With other machines, a tool that is not here may be there.
if [ -e "$tool" ]; then
  [ -x "$tool" ] || die "$tool: not an executable"
  tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
elif [ -z "$sshlogin" ]; then
  die "$tool: no such file"
fi

is_y4m() { [[ ${1,,} == *.y4m ]]; }
output_ext=${output##*.}
[ "$output_ext" != "$output" ] && [[ $output_ext != */* ]] ||
  die_usage "$output: name the output with an extension (.y4m, .mkv, .mp4, ...)"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/filter-parallel.XXXXXX")
written=""
cleanup() {
  local status=$?
  rm -rf "$tmp"
  [ -z "$written" ] || [ "$status" -eq 0 ] || rm -f "$written"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# 1. Cut. Y4M frames are each a keyframe: they are cut as raw frames into
# Y4M segments, which the tool reads itself. Other video is copied
# without re-encoding into Matroska segments, which keep every codec and
# its colour range, cut at the keyframes.
if is_y4m "$input"; then
  segment_ext=y4m
  ffmpeg -v error -nostdin -i "$input" -map 0:v:0 -c:v wrapped_avframe -strict -1 \
    -f segment -segment_format yuv4mpegpipe -segment_format_options strict=-1 \
    -segment_time "$segment_seconds" \
    -reset_timestamps 1 "$tmp/s-%05d.y4m" || die "$input: cannot cut it into segments"
else
  segment_ext=mkv
  ffmpeg -v error -nostdin -i "$input" -map 0:v:0 -c copy \
    -f segment -segment_format matroska -segment_time "$segment_seconds" \
    -reset_timestamps 1 "$tmp/s-%05d.mkv" || die "$input: cannot cut it into segments"
fi
segments=()
for segment in "$tmp"/s-*."$segment_ext"; do
  [ -e "$segment" ] && segments+=("$segment")
done
[ "${#segments[@]}" -gt 0 ] || die "$input: no video frames"

# The tool options are checked once, on the first segment's header, so
# that a usage error is told once and nothing runs.
if [ -x "$tool" ]; then
  probe=${segments[0]}
  if [ "$segment_ext" != y4m ]; then
    probe=$tmp/probe.y4m
    ffmpeg -v error -nostdin -i "${segments[0]}" -map 0:v:0 -frames:v 1 -f yuv4mpegpipe \
      -strict -1 "$probe" || die "$input: cannot decode the first segment"
  fi
  "$tool" --quiet "${tool_args[@]}" --frames 0 "$probe" /dev/null || exit $?
fi

# 2. Filter: one job per segment, job.sh SEGMENT PIECE. The files are
# named by their absolute paths; on other machines parallel copies the
# job script and each segment to the same paths there, and the piece back.
if is_y4m "$output"; then piece_ext=y4m; else piece_ext=$output_ext; fi
# shellcheck disable=SC2016 # the job's own expansions, written as text
{
  echo '#!/bin/bash'
  echo '# One segment through the tool: job.sh SEGMENT PIECE'
  echo 'set -euo pipefail'
  for variable in DEVIDORIV_WISDOM DEVIDORIV_MODULE; do
    [ -z "${!variable:-}" ] || printf 'export %s=%q\n' "$variable" "${!variable}"
  done
  printf 'tool=(%q --quiet' "$tool"
  [ "${#tool_args[@]}" -eq 0 ] || printf ' %q' "${tool_args[@]}"
  echo ')'
  # The tool reads a Y4M segment itself and writes a Y4M piece itself;
  # ffmpeg decodes other segments into it and encodes other pieces from it.
  if [ "$segment_ext" = y4m ]; then
    reader=''
    tool_input='"$1"'
  else
    reader='ffmpeg -v error -nostdin -i "$1" -map 0:v:0 -fps_mode passthrough -f yuv4mpegpipe -strict -1 - | '
    tool_input=-
  fi
  if [ "$piece_ext" = y4m ]; then
    echo "$reader\"\${tool[@]}\" $tool_input \"\$2\""
  else
    read -r -a encode_words <<< "$encode"
    printf 'encode=('
    [ "${#encode_words[@]}" -eq 0 ] || printf ' %q' "${encode_words[@]}"
    echo ' )'
    echo "$reader\"\${tool[@]}\" $tool_input - |"
    echo '  ffmpeg -v error -nostdin -y -f yuv4mpegpipe -i - -fps_mode passthrough "${encode[@]}" "$2"'
  fi
} > "$tmp/job.sh"
# The first failure stops the run: the jobs still running are killed.
# shellcheck disable=SC2054 # "now,fail=1" is one value
parallel_options=(--halt now,fail=1 --joblog "$tmp/jobs.log")
[ -z "$jobs" ] || parallel_options+=(--jobs "$jobs")
if [ -t 2 ]; then parallel_options+=(--bar); fi
if [ -n "$sshlogin" ]; then
  parallel_options+=(--sshlogin "$sshlogin" --basefile "$tmp/job.sh" --transferfile {}
    --return "{.}.out.$piece_ext" --cleanup)
fi
status=0
parallel "${parallel_options[@]}" bash "$tmp/job.sh" {} "{.}.out.$piece_ext" \
  ::: "${segments[@]}" || status=$?
if [ "$status" -ne 0 ]; then
  # The job log's columns: 1 the job's number, counted from 1 in the order
  # of the segments, 7 its exit value, 8 the signal that ended it (the jobs
  # that the halt killed have one).
  failed=""
  while read -r seq; do
    failed+=" $(basename "${segments[$((seq - 1))]}")"
  done < <(awk -F'\t' 'NR > 1 && $7 != 0 && $8 == 0 { print $1 }' "$tmp/jobs.log")
  die "filtering failed${failed:+ for$failed} (of ${#segments[@]} segments)"
fi
pieces=()
for segment in "${segments[@]}"; do
  piece=${segment%.*}.out.$piece_ext
  [ -s "$piece" ] || die "segment $(basename "$segment") left no filtered piece"
  pieces+=("$piece")
done

# 3. Join, in the order of the segments.
# The concat list quotes each name; a quote in it is written as '\''.
quote="'"
for piece in "${pieces[@]}"; do
  echo "file '${piece//$quote/$quote\\$quote$quote}'"
done > "$tmp/pieces.txt"
written=$output
if [ "$piece_ext" = y4m ]; then
  ffmpeg -v error -nostdin -y -f concat -safe 0 -i "$tmp/pieces.txt" -c:v wrapped_avframe \
    -fps_mode passthrough -strict -1 -f yuv4mpegpipe "$output" || die "cannot join the pieces"
else
  if [ "$audio" = none ]; then
    audio_options=(-an)
  else
    read -r -a audio_words <<< "$audio"
    audio_options=(-map '1:a?' "${audio_words[@]}")
  fi
  ffmpeg -v error -nostdin -y -f concat -safe 0 -i "$tmp/pieces.txt" -i "$input" \
    -map 0:v:0 -c:v copy "${audio_options[@]}" "$output" || die "cannot join the pieces"
fi
written=""
echo "$program: $input: ${#segments[@]} segments filtered into $output" >&2
