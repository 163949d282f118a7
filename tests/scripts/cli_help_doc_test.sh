#!/bin/sh
# docs/cli.md shows the tool's --help as the tool prints it: the text
# between its two markers must be the tool's output, less the line that
# names the loaded module (a path of the machine).
#   cli_help_doc_test.sh TOOL DOC
set -eu
tool=$1
doc=$2
expected=$("$tool" --help | grep -v '^Loaded module:')
shown=$(sed -n '/^<!-- devidoriv --help/,/^<!-- end of devidoriv --help/p' "$doc" |
    sed '1,2d;$d' | sed '$d')
if [ "$shown" != "$expected" ]; then
    echo "docs/cli.md's --help differs from the tool's; paste the tool's output:" >&2
    printf '%s\n' "$expected" > "${TMPDIR:-/tmp}/devidoriv-help.txt"
    printf '%s\n' "$shown" | diff - "${TMPDIR:-/tmp}/devidoriv-help.txt" >&2 || true
    exit 1
fi
echo "docs/cli.md shows the tool's --help ($(printf '%s\n' "$expected" | wc -l) lines)"
