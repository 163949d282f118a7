#!/bin/sh
# One libFuzzer target fuzzing for FUZZ_SECONDS seconds (60 when unset),
# from the seeds in SEED_FOLDER. It keeps what it finds in a corpus of its
# own, WORK_DIR/corpus/NAME (libFuzzer writes into the first folder named);
# a failing input goes to WORK_DIR/artifacts/NAME-*, and the run's output
# to WORK_DIR/fuzz_NAME.log, whose last lines are shown when it fails.
#   run_fuzzer.sh WORK_DIR NAME FUZZER SEED_FOLDER [OPTION ...]
# shellcheck source-path=SCRIPTDIR source=../support/preamble.sh
. "$(dirname "$0")/../support/preamble.sh"
dir=$1 name=$2 fuzzer=$3 seeds=$4
shift 4
seconds=${FUZZ_SECONDS:-60}
log=$dir/fuzz_$name.log
mkdir -p "$dir/corpus/$name" "$dir/artifacts"

echo "fuzz_$name: $seconds s"
"$fuzzer" -max_total_time="$seconds" -artifact_prefix="$dir/artifacts/$name-" "$@" \
    "$dir/corpus/$name" "$seeds" > "$log" 2>&1 || {
    tail -n 40 "$log"
    fail "fuzz_$name: the input is in $dir/artifacts"
}
grep -E '^(Done|stat::(number_of_executed_units|peak_rss_mb|new_units_added))' "$log"
