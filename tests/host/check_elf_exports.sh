#!/bin/sh
# The module's dynamic symbol table defines exactly one symbol,
# GetFilterTable: everything else, FFTW's and the C++ runtime's included,
# stays hidden inside the module.
set -eu
nm_tool=$1
module=$2
defined=$("$nm_tool" -D --defined-only "$module" | awk '{print $NF}' | sort)
if [ "$defined" != "GetFilterTable" ]; then
  echo "expected only GetFilterTable to be exported, found:" >&2
  echo "$defined" >&2
  exit 1
fi
# The export is a plain C name in the text section.
"$nm_tool" -D --defined-only "$module" | grep -q " T GetFilterTable$" || {
  echo "GetFilterTable is not a defined function" >&2
  exit 1
}
echo "exports: GetFilterTable"
