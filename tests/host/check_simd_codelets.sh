#!/bin/sh
# Checks that a module carries FFTW's AVX and AVX2 codelets besides the
# rest: instructions on 256-bit ymm registers (AVX) and fused multiply-adds
# on them (AVX2 builds of FFTW, which bring FMA). The module's own code is
# compiled for SSE2 alone, so any such instruction comes from FFTW's
# codelet folders, which FFTW enables only after CPUID and XGETBV say that
# the processor and the system support them.
#   check_simd_codelets.sh OBJDUMP MODULE
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 objdump module" >&2
    exit 2
fi
objdump=$1
module=$2

# One pass over the disassembly; the counts come from a file, not a pipe
# that could end early.
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
"$objdump" -d --no-show-raw-insn "$module" |
    awk '/%ymm/ { ymm++; if ($0 ~ /vfn?m(add|sub)[0-9]*ps/) fma++ }
         END { printf "%d %d\n", ymm, fma }' > "$counts"
read -r ymm fma < "$counts"

status=0
if [ "$ymm" -eq 0 ]; then
    echo "FAIL: $module: no instruction on ymm registers: FFTW was built without AVX" >&2
    status=1
fi
if [ "$fma" -eq 0 ]; then
    echo "FAIL: $module: no fused multiply-add on ymm registers: FFTW was built without AVX2" >&2
    status=1
fi
if [ $status -eq 0 ]; then
    echo "$module: $ymm instructions on ymm registers, $fma of them fused multiply-adds"
fi
exit $status
