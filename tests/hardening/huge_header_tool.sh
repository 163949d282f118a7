#!/bin/sh
# The tool on streams whose header promises a frame at the size cap
# (16384 x 16384, 4:4:4, 16 bits: 1.5 GiB a frame) and holds no or almost
# no frame data, with its address space limited to 1 GiB: it must finish
# as with any small stream, since memory for a frame is taken only once
# the input holds one.
#   huge_header_tool.sh TOOL WORKDIR
set -eu
tool=$1
dir=$2
mkdir -p "$dir"
ulimit -v 1048576

printf 'YUV4MPEG2 W16384 H16384 C444p16\n' > "$dir/header-only.y4m"
"$tool" -q "$dir/header-only.y4m" "$dir/header-only.out.y4m"
cmp -s "$dir/header-only.out.y4m" /dev/null && { echo "no stream header written"; exit 1; }

printf 'YUV4MPEG2 W16384 H16384 C444p16\nFRAME\nab' > "$dir/truncated.y4m"
status=0
"$tool" -q "$dir/truncated.y4m" "$dir/truncated.out.y4m" 2> "$dir/truncated.err" || status=$?
if [ "$status" -ne 1 ] || ! grep -q 'truncated frame 0: 2 of 1610612736 bytes' "$dir/truncated.err"; then
  echo "truncated stream: exit $status, wanted 1 and the truncation error:"
  cat "$dir/truncated.err"
  exit 1
fi
echo "both streams handled within 1 GiB of address space"
