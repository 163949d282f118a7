#!/bin/bash
# scripts/filter-parallel.sh on the sample clip, as it is and at 10 and 16
# bits, cut into several segments and filtered two at a time: the joined
# clip holds the frames of a single run of the tool, all of them, in order,
# byte for byte. A
# segment that fails fails the script, which then writes no output and
# leaves no temporary files.
#   filter_parallel_test.sh TOOL SOURCE_DIR WORKDIR
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
set -o pipefail
tool=$1 root=$2
need ffmpeg parallel
work_folder "$3"
mkdir "$work/tmp"
export TMPDIR=$work/tmp DEVIDORIV_WISDOM=off
script=$root/scripts/filter-parallel.sh
sample=$root/samples/grace_hopper.y4m
# Plans by estimate and one FFT thread in both runs: the same plans, so
# the same rounding.
settings=(--never-measure --threads 1 --luma-a 40 --luma-b 30 --chroma-a 20 --chroma-b 15)

# The frames: everything after the stream header's line.
frames() { tail -c +$(($(head -n 1 "$1" | wc -c) + 1)) "$1"; }
frame_md5s() { ffmpeg -v error -i "$1" -f framemd5 - | grep -v '^#' | awk -F', *' '{ print $NF }'; }

# The sample as it is (8-bit 4:2:0), and converted to formats that ffmpeg
# writes as Y4M only with -strict -1: every one is cut, filtered and joined.
segments=0
for format in "" yuv420p10le yuv422p10le gray16le; do
  clip=$sample
  if [ -n "$format" ]; then
    clip=$work/$format.y4m
    ffmpeg -v error -nostdin -y -i "$sample" -pix_fmt "$format" -strict -1 -f yuv4mpegpipe "$clip"
  fi
  name=${format:-8-bit 4:2:0}
  "$tool" --quiet "${settings[@]}" "$clip" "$work/single.y4m"
  "$script" --tool "$tool" -j 2 --segment-seconds 0.25 "${settings[@]}" "$clip" \
    "$work/joined.y4m" 2> "$work/joined.log" || fail "$name: the script failed: $(cat "$work/joined.log")"
  segments=$(sed -n 's/.*: \([0-9]*\) segments filtered into .*/\1/p' "$work/joined.log")
  [ "${segments:-0}" -ge 2 ] ||
    fail "$name: the clip was not cut into several segments: $(cat "$work/joined.log")"
  if ! cmp -s <(frames "$work/single.y4m") <(frames "$work/joined.y4m"); then
    echo "frame checksums, single run and joined:"
    diff <(frame_md5s "$work/single.y4m") <(frame_md5s "$work/joined.y4m") | head -n 20 || true
    fail "$name: the joined clip's frames differ from the single run's"
  fi
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$name: temporary files left: $(ls -A "$TMPDIR")"
done

# The tool, failing on the third segment (the script names its segments
# s-00000, s-00001, ...); the others are filtered.
cat > "$work/failing-tool" <<TOOL
#!/bin/sh
case "\$*" in *s-00002.*) echo "failing on purpose" >&2; exit 1 ;; esac
exec "$tool" "\$@"
TOOL
chmod +x "$work/failing-tool"
status=0
"$script" --tool "$work/failing-tool" -j 2 --segment-seconds 0.25 "${settings[@]}" "$sample" \
  "$work/failed.y4m" 2> "$work/failed.log" || status=$?
[ "$status" -eq 1 ] || fail "a failing segment: exit $status, wanted 1: $(cat "$work/failed.log")"
grep -q 'filtering failed for s-00002.y4m' "$work/failed.log" ||
  fail "the failed segment is not named: $(cat "$work/failed.log")"
[ ! -e "$work/failed.y4m" ] || fail "a failing segment left an output"
[ -z "$(ls -A "$TMPDIR")" ] || fail "a failing segment left temporary files: $(ls -A "$TMPDIR")"
echo "8-bit, 10-bit 4:2:0 and 4:2:2 and 16-bit mono clips joined into the single run's frames; a failing segment fails the run"
