# shellcheck shell=sh
# The start of every shell test, which sources it first:
#   . "$(dirname "$0")/../support/preamble.sh"
# The test stops at the first command that fails and at an unset variable.
#   fail MESSAGE     ends the test failed
#   skip REASON      ends it skipped: exit status 77, which ctest counts as
#                    skipped (SKIP_RETURN_CODE 77)
#   need PROGRAM...  skips it unless every program named is installed
#   work_folder [DIR]
#                    sets $work: DIR emptied, and kept after the test for a
#                    look; without DIR a temporary folder, removed at exit
# POSIX sh, so that sh and bash tests share it; bash tests add
# `set -o pipefail` after it.
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

skip() {
    echo "skipped: $*"
    exit 77
}

need() {
    for needed in "$@"; do
        command -v "$needed" > /dev/null 2>&1 || skip "$needed is not installed"
    done
}

work_folder() {
    if [ $# -gt 0 ]; then
        work=$1
        rm -rf "$work"
        mkdir -p "$work"
    else
        work=$(mktemp -d)
        trap 'rm -rf "$work"' EXIT
    fi
}
