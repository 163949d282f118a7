#!/bin/sh
# docs/cli.md shows the tool's --help as the tool prints it: the text
# between its two markers must be the tool's output, less the line that
# names the loaded module (a path of the machine).
#   cli_help_doc_test.sh TOOL DOC
. "$(dirname "$0")/../support/preamble.sh"
work_folder
tool=$1
doc=$2
expected=$("$tool" --help | grep -v '^Loaded module:')
shown=$(sed -n '/^<!-- devidoriv --help/,/^<!-- end of devidoriv --help/p' "$doc" |
    sed '1,2d;$d' | sed '$d')
if [ "$shown" != "$expected" ]; then
    printf '%s\n' "$expected" > "$work/help.txt"
    printf '%s\n' "$shown" > "$work/shown.txt"
    diff "$work/shown.txt" "$work/help.txt" >&2 || true
    fail "docs/cli.md's --help differs from the tool's (above); paste the tool's output"
fi
echo "docs/cli.md shows the tool's --help ($(printf '%s\n' "$expected" | wc -l) lines)"
